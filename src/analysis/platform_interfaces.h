// The few things the program asks of its windowing platform, as interfaces of
// its own.  The windows implement them with real message boxes, the beep and
// the pointer; tests implement them with recorders, so a test sees exactly
// which texts were shown, and in which order.
#pragma once

#include <string>
#include <vector>

// What the input checks need: a modal warning and the beep.
class tMessageSink {
 public:
  virtual ~tMessageSink() = default;
  // A modal box captioned "Warning" with a warning symbol and one OK button.
  // Carriage returns (code 13) in the text are its line breaks.
  virtual void ShowWarning(const std::string& text) = 0;
  virtual void Beep() = 0;
};

// Everything else a handler may need from the user or the screen.
class tUserDialogs : public tMessageSink {
 public:
  // The confirmation box captioned "Confirm" with Yes and No; true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // An error that escaped an operation: the box titled with the application's
  // title, the text being the error's message with a period added if needed.
  virtual void ShowError(const std::string& text) = 0;
  // The application-wide busy (true) or normal (false) pointer.
  virtual void SetBusyPointer(bool busy) = 0;
  // A question with several answers: the box captioned "Confirm" with one
  // button per choice, in this order.  Returns the index of the choice, or
  // -1 when the box was closed without one.  Where no one can be asked, the
  // first choice.
  virtual int Choose(const std::string& text, const std::vector<std::string>& choices) {
    (void)text;
    return choices.empty() ? -1 : 0;
  }
};

// A message of the program's own, whose lines are broken with carriage
// returns (code 13), for a place that breaks them otherwise.  With a line feed
// as `line_break` (a terminal, the toolkit's message box) each carriage return
// becomes a line feed and every line stays, blank ones included.  With a blank
// (a CSV cell) the message is joined into one line: each run of carriage
// returns and line feeds becomes one blank, none at the start and none after
// a blank.
inline std::string MessageLines(const std::string& message, char line_break = '\n') {
  std::string text;
  text.reserve(message.size());
  for (char c : message) {
    if (c != '\r' && c != '\n') {
      text.push_back(c);
    } else if (line_break == '\n') {
      text.push_back('\n');
    } else if (!text.empty() && text.back() != ' ' && text.back() != line_break) {
      text.push_back(line_break);
    }
  }
  return text;
}

// The text of the error box for an error that escaped an operation: its
// message, with a period added when it does not end in one.
inline std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && message.back() == '.') return message;
  return message + ".";
}
