// A tUserDialogs that records what it was asked to show, in order, and
// answers confirmations from a script, so tests need no one to click.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "analysis/platform_interfaces.h"

class tRecordingDialogs : public tUserDialogs {
 public:
  // One entry per event: "warning:<text>", "beep", "confirm:<text>",
  // "error:<text>", "busy", "normal".
  std::vector<std::string> events;
  std::vector<std::string> warnings;
  std::vector<std::string> errors;
  int beeps = 0;
  // Answers for Confirm, taken from the front; No when none is left.
  std::deque<bool> confirm_answers;
  // Answers for Choose (indices), taken from the front; -1 when none is left.
  std::deque<int> choice_answers;

  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
    events.push_back("warning:" + text);
  }
  void Beep() override {
    ++beeps;
    events.push_back("beep");
  }
  bool Confirm(const std::string& text) override {
    events.push_back("confirm:" + text);
    if (confirm_answers.empty()) return false;
    bool answer = confirm_answers.front();
    confirm_answers.pop_front();
    return answer;
  }
  void ShowError(const std::string& text) override {
    errors.push_back(text);
    events.push_back("error:" + text);
  }
  void SetBusyPointer(bool busy) override { events.push_back(busy ? "busy" : "normal"); }
  int Choose(const std::string& text, const std::vector<std::string>& choices) override {
    std::string event = "choose:" + text;
    for (const std::string& choice : choices)
      event += "|" + choice;
    events.push_back(event);
    if (choice_answers.empty()) return -1;
    int answer = choice_answers.front();
    choice_answers.pop_front();
    return answer;
  }
};
