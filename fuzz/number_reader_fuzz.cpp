// Fuzz target: the worksheet's key filter, its six-character limit and the
// number reader, on any bytes.  Each is checked against the rules the user
// sees, written out again here independently of the code under test:
// which characters a field takes, when a refusal is shown, and the value of
// an accepted text (compared with std::from_chars, a different conversion
// than the one the reader uses).
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "analysis/Metrics_Papers.h"
#include "fuzz/fuzz_check.h"
#include "numeric/errors.h"

namespace {

class tRecorder : public tMessageSink {
 public:
  std::vector<std::string> events;  // "beep" or the warning's text
  void ShowWarning(const std::string& text) override { events.push_back(text); }
  void Beep() override { events.push_back("beep"); }
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void CheckKeyFilter(char key) {
  tRecorder messages;
  char passed = FilterNumericKey(key, messages);
  const bool number_key =
      key == 8 || key == 9 || key == 13 || key == '-' || key == '.' || key == ',' || IsDigit(key);
  if (number_key) {
    FUZZ_CHECK(passed == (key == ',' ? '.' : key));
    FUZZ_CHECK(messages.events.empty());
  } else {
    FUZZ_CHECK(passed == '\0');
    FUZZ_CHECK(messages.events.size() == 2 && messages.events[0] == "beep");
    FUZZ_CHECK(messages.events[1] == "INPUT ERROR\r\rEnter numeric data only.");
  }
}

std::size_t Characters(const std::string& text) {
  std::size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

void CheckTruncation(const std::string& text) {
  std::string kept = TruncateInput(text);
  FUZZ_CHECK(text.compare(0, kept.size(), kept) == 0);
  FUZZ_CHECK(Characters(kept) <= MaxInputLength);
  if (kept.size() < text.size()) {
    // Cut only before a character's first byte, and only when it had to be.
    FUZZ_CHECK(Characters(kept) == MaxInputLength);
    FUZZ_CHECK((static_cast<unsigned char>(text[kept.size()]) & 0xC0) != 0x80);
  }
}

void CheckNumberReader(const std::string& text) {
  // The rules: blanks anywhere, a minus sign only first, one decimal point,
  // digits; nothing else.
  bool valid = !text.empty();
  bool point_seen = false;
  bool negative = false;
  std::string digits;  // the number without blanks and sign
  bool nonzero_integer_digit = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == ' ') continue;
    if (c == '-' && i == 0) {
      negative = true;
    } else if (c == '.' && !point_seen) {
      point_seen = true;
      digits.push_back(c);
    } else if (IsDigit(c)) {
      digits.push_back(c);
      if (!point_seen && c != '0') nonzero_integer_digit = true;
    } else {
      valid = false;
    }
  }

  double expected = 0;
  bool too_large = false;
  bool too_small = false;
  if (valid) {
    // A leading and (after a point) a trailing zero change no value and
    // give from_chars digits on both sides of the point.
    std::string number = "0" + digits + (point_seen ? "0" : "");
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), expected);
    FUZZ_CHECK(ec != std::errc::invalid_argument && end == number.data() + number.size());
    if (ec == std::errc::result_out_of_range) {
      too_large = nonzero_integer_digit;
      too_small = !nonzero_integer_digit;
    }
  }

  tRecorder messages;
  InputError = false;
  double value = 0;
  try {
    value = ReadNumber(text, "Caption:", messages);
  } catch (const EOverflow&) {
    // Only a number beyond every double may end the read this way.
    FUZZ_CHECK(valid && too_large);
    return;
  }
  FUZZ_CHECK(!too_large);
  FUZZ_CHECK(InputError == !valid);
  FUZZ_CHECK(messages.events.size() == (valid ? 0u : 1u));
  if (text.empty()) {
    FUZZ_CHECK(messages.events[0] ==
               "INPUT ERROR\r\r(  Caption:  )\r\rData have not been entered in this field.");
  } else if (!valid) {
    FUZZ_CHECK(messages.events[0] ==
               "INPUT ERROR\r(  Caption:  " + text + "  )\r\rEnter numeric data only.");
  }
  if (!valid) return;
  FUZZ_CHECK(std::isfinite(value));
  FUZZ_CHECK(!std::signbit(value) || value < 0);  // never a negative zero
  if (too_small) {
    FUZZ_CHECK(std::fabs(value) < 1e-300);
  } else {
    FUZZ_CHECK(value == (negative ? -expected : expected));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  for (std::size_t i = 0; i < text.size() && i < 16; ++i)
    CheckKeyFilter(text[i]);
  CheckTruncation(text);
  CheckNumberReader(text);
  return 0;
}
