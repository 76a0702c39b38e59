// Input validation of the worksheet's eight numeric fields: the key filter,
// the six-character limit, the number reader and the three range checks.
// Every refusal tells the user itself, through the message sink.
#pragma once

#include <optional>
#include <string>

#include "analysis/platform_interfaces.h"

// Set by ReadNumber when it refuses a text, cleared when it accepts one.
// Defined only between a call of ReadNumber and the next.
extern bool InputError;

// The longest text an input field holds.
inline constexpr std::size_t MaxInputLength = 6;

// The character a key press lets through, or '\0' to discard the key (after
// the beep and the warning).  A comma becomes a point.
char FilterNumericKey(char key, tMessageSink& messages);

// Text pasted into an input field (from the clipboard, the mouse selection
// or a drop), as the key filter would let it through typed: commas become
// points, and one line end at its end (a copied spreadsheet cell) is
// dropped.  When any character would be refused typed, or is a control
// character (a paste holds no key strokes), the whole text is refused,
// once, with the key filter's beep and warning, and nothing is returned: a
// paste of "6 5" must not become 65.  The length limit is the caller's, as
// after a typed key.
std::optional<std::string> FilterPastedText(const std::string& text, tMessageSink& messages);

// The first six characters of a text.
std::string TruncateInput(const std::string& text);

// What a field says when a key release finds more than six characters in it.
extern const char* const kMaxLengthMessage;  // "Maximum length of input is 6 characters."

// The six-character limit at a key release: a longer text is cut to its
// first six characters, after the beep and kMaxLengthMessage.  True when it
// was cut.
bool LimitInputLength(std::string& text, tMessageSink& messages);

// Reads a field's text as a number; sets or clears InputError, and shows the
// refusal message itself.  The result is the double nearest to the decimal
// value of the accepted text.
double ReadNumber(const std::string& text, const std::string& caption, tMessageSink& messages);

// Range checks: true when the number is acceptable; otherwise the message is
// shown and the result is false.  `decimal_separator` is the user's, used for
// the number quoted in the message.
bool CheckStandardDeviation(const std::string& caption, double value, tMessageSink& messages,
                            char decimal_separator);
bool CheckCorrelation(const std::string& caption, double value, tMessageSink& messages,
                      char decimal_separator);
bool CheckSampleSize(const std::string& caption, double value, tMessageSink& messages,
                     char decimal_separator);
