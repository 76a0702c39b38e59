#include "analysis/Metrics_Papers.h"

#include <cmath>
#include <cstdint>

#include "analysis/text_format.h"
#include "numeric/errors.h"

bool InputError = false;

namespace {

constexpr char kCR = '\r';

// "INPUT ERROR\r(  caption  number  )\r" followed by a range check's text.
std::string RangeMessage(const std::string& caption, double value, const char* check_text,
                         char decimal_separator) {
  return std::string("INPUT ERROR") + kCR + "(  " + caption + "  " +
         FormatFixed(value, 3, 3, decimal_separator) + "  )" + kCR + check_text;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The key filter's refusal: the beep and the warning.
void RefuseKey(tMessageSink& messages) {
  messages.Beep();
  messages.ShowWarning(std::string("INPUT ERROR") + kCR + kCR + "Enter numeric data only.");
}

// A character of a number as it is let through, or '\0'.
char NumberCharacter(char c) {
  if (c == ',') c = '.';
  return c == '-' || c == '.' || IsDigit(c) ? c : '\0';
}

}  // namespace

char FilterNumericKey(char key, tMessageSink& messages) {
  if (key == 8 || key == 9 || key == 13) return key;
  if (const char passed = NumberCharacter(key); passed != '\0') return passed;
  RefuseKey(messages);
  return '\0';
}

std::optional<std::string> FilterPastedText(const std::string& text, tMessageSink& messages) {
  std::size_t length = text.size();
  if (length > 0 && text[length - 1] == '\n') --length;
  if (length > 0 && text[length - 1] == '\r') --length;
  std::string passed;
  passed.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const char c = NumberCharacter(text[i]);
    if (c == '\0') {
      RefuseKey(messages);
      return std::nullopt;
    }
    passed.push_back(c);
  }
  return passed;
}

const char* const kMaxLengthMessage = "Maximum length of input is 6 characters.";

bool LimitInputLength(std::string& text, tMessageSink& messages) {
  std::string kept = TruncateInput(text);
  if (kept.size() == text.size()) return false;
  messages.Beep();
  messages.ShowWarning(kMaxLengthMessage);
  text = std::move(kept);
  return true;
}

std::string TruncateInput(const std::string& text) {
  // Counts characters, not bytes, so a pasted multi-byte character is never cut in two.
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool starts_character = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_character && characters++ == MaxInputLength) return text.substr(0, i);
  }
  return text;
}

double ReadNumber(const std::string& text, const std::string& caption, tMessageSink& messages) {
  if (text.empty()) {
    InputError = true;
    messages.ShowWarning(std::string("INPUT ERROR") + kCR + kCR + "(  " + caption + "  " + text +
                         ")" + kCR + kCR + "Data have not been entered in this field.");
    return 0;
  }
  InputError = false;

  // The digits are collected as text and converted once at the end, so that
  // the result is the double nearest to the exact decimal value, however many
  // decimals were typed or pasted (correct rounding as IEEE 754-2008, 5.12.2,
  // asks of decimal input; the method: W. D. Clinger, "How to Read Floating
  // Point Numbers Accurately", Proc. ACM PLDI 1990, 92-101).  Adding up the
  // digits one by one in floating point would round at every step.
  bool negative = false;
  bool in_fraction = false;
  bool refused = false;
  std::string integer_digits;
  std::string fraction_digits;
  for (std::size_t i = 0; i < text.size() && !refused; ++i) {
    char c = text[i];
    if (c == ' ') continue;
    if (c == '-' && i == 0) {
      negative = true;
    } else if (c == '.' && !in_fraction) {
      in_fraction = true;
    } else if (c == '.') {
      refused = true;
    } else if (IsDigit(c)) {
      (in_fraction ? fraction_digits : integer_digits).push_back(c);
    } else {
      refused = true;
      integer_digits.clear();
      fraction_digits.clear();
    }
  }

  if (refused) {
    InputError = true;
    messages.ShowWarning(std::string("INPUT ERROR") + kCR + "(  " + caption + "  " + text + "  )" +
                         kCR + kCR + "Enter numeric data only.");
  }

  std::string decimal = (integer_digits.empty() ? "0" : integer_digits) + "." + fraction_digits;
  std::size_t end = 0;
  bool overflow = false;
  double value = ParseDoubleInCLocale(decimal, end, overflow);
  // More than about 309 integer digits: beyond every double, which the
  // floating-point unit reports as an overflow.
  if (overflow && !refused) throw EOverflow();
  // Only a nonzero value carries the sign, so "-" alone reads as 0, not -0.
  return negative && value != 0 ? -value : value;
}

bool CheckStandardDeviation(const std::string& caption, double value, tMessageSink& messages,
                            char decimal_separator) {
  if (value > 0) return true;
  messages.ShowWarning(RangeMessage(
      caption, value, "Standard deviations must have a positive value.", decimal_separator));
  return false;
}

bool CheckCorrelation(const std::string& caption, double value, tMessageSink& messages,
                      char decimal_separator) {
  if (value > -1 && value < 1) return true;
  messages.ShowWarning(RangeMessage(
      caption, value, "The correlation must lie between  -1.0 and 1.0. ", decimal_separator));
  return false;
}

bool CheckSampleSize(const std::string& caption, double value, tMessageSink& messages,
                     char decimal_separator) {
  double whole = std::trunc(value);
  if (value - whole != 0 || !(whole > 2)) {
    messages.ShowWarning(
        RangeMessage(caption, value, "The value for sample size must be an integer greater than 2.",
                     decimal_separator));
    return false;
  }
  // The engines count the sample in a 32-bit integer.
  if (whole > static_cast<double>(INT32_MAX)) {
    messages.ShowWarning(RangeMessage(
        caption, value,
        "The value for sample size must be an integer greater than 2 and at most 2147483647.",
        decimal_separator));
    return false;
  }
  return true;
}
