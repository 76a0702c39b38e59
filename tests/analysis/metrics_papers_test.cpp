// The key filter, the length limit, the number reader and the range checks,
// with every message compared byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/Metrics_Papers.h"
#include "numeric/errors.h"
#include "support/recording_dialogs.h"

namespace {

const std::string kCaption = "Standard deviation for the normative sample on Task X:";

TEST(FilterNumericKey, NumberCharactersPassOthersBeepAndWarn) {
  tRecordingDialogs quiet;
  for (char key : std::string("0123456789-.\b\t\r"))
    EXPECT_EQ(FilterNumericKey(key, quiet), key);
  EXPECT_EQ(FilterNumericKey(',', quiet), '.');
  EXPECT_TRUE(quiet.events.empty());

  for (char key : std::string("ae+ /E\n")) {
    tRecordingDialogs dialogs;
    EXPECT_EQ(FilterNumericKey(key, dialogs), '\0') << key;
    EXPECT_EQ(dialogs.events, (std::vector<std::string>{
                                  "beep", "warning:INPUT ERROR\r\rEnter numeric data only."}));
  }
}

// A paste passes whole or not at all: one refused character refuses it with
// one warning, where typing would have dropped that key alone.
TEST(FilterPastedText, PassesANumberWholeOrRefusesItOnce) {
  const struct {
    const char* pasted;
    const char* passed;  // nullptr: refused
  } cases[] = {
      {"-1,5", "-1.5"},  {"0.9999999", "0.9999999"}, {"65\r\n", "65"},
      {"65\n", "65"},    {"6 5", nullptr},           {"65\n\n", nullptr},
      {"6\t5", nullptr}, {"1e-5", nullptr},          {"\xC2\xBD", nullptr},
      {"", ""},
  };
  for (const auto& c : cases) {
    tRecordingDialogs dialogs;
    const std::optional<std::string> passed = FilterPastedText(c.pasted, dialogs);
    if (c.passed != nullptr) {
      EXPECT_EQ(passed, std::string(c.passed)) << c.pasted;
      EXPECT_TRUE(dialogs.events.empty()) << c.pasted;
    } else {
      EXPECT_EQ(passed, std::nullopt) << c.pasted;
      EXPECT_EQ(dialogs.events, (std::vector<std::string>{
                                    "beep", "warning:INPUT ERROR\r\rEnter numeric data only."}))
          << c.pasted;
    }
  }
}

TEST(TruncateInput, KeepsTheFirstSixCharacters) {
  EXPECT_EQ(TruncateInput("1234567"), "123456");
  EXPECT_EQ(TruncateInput("12.3456789"), "12.345");
  EXPECT_EQ(TruncateInput("123"), "123");
  // A pasted multi-byte character counts as one and is never cut in two.
  EXPECT_EQ(TruncateInput("12\xC3\xA9"
                          "4567"),
            "12\xC3\xA9"
            "456");
}

struct tAccepted {
  const char* text;
  double value;
};

TEST(ReadNumber, AcceptsNumbersAndClearsInputError) {
  const tAccepted accepted[] = {
      {"12", 12},   {"-3.5", -3.5}, {".5", 0.5},      {"5.", 5},       {"1 000", 1000},
      {"-", 0},     {".", 0},       {"   ", 0},       {"-.25", -0.25}, {"007", 7},
      {"10.0", 10}, {"-0", 0},      {"1 2. 5", 12.5},
  };
  for (const tAccepted& a : accepted) {
    tRecordingDialogs dialogs;
    InputError = true;
    double value = ReadNumber(a.text, kCaption, dialogs);
    EXPECT_FALSE(InputError) << a.text;
    EXPECT_EQ(value, a.value) << a.text;
    EXPECT_FALSE(std::signbit(value) && value == 0) << a.text << " must not read as -0";
    EXPECT_TRUE(dialogs.events.empty()) << a.text;
  }
}

TEST(ReadNumber, RefusesOtherTextsWithTheNumericMessage) {
  for (const char* text : {"5-", " -5", "1.2.3", "1,5", "+5", "1E-5", "12a", "--1", "0x10"}) {
    tRecordingDialogs dialogs;
    InputError = false;
    ReadNumber(text, kCaption, dialogs);
    EXPECT_TRUE(InputError) << text;
    ASSERT_EQ(dialogs.warnings.size(), 1u) << text;
    EXPECT_EQ(dialogs.warnings[0],
              "INPUT ERROR\r(  " + kCaption + "  " + text + "  )\r\rEnter numeric data only.");
    EXPECT_EQ(dialogs.beeps, 0);
  }
}

TEST(ReadNumber, EmptyTextHasItsOwnMessage) {
  tRecordingDialogs dialogs;
  InputError = false;
  ReadNumber("", "Case's test score on Task Y:", dialogs);
  EXPECT_TRUE(InputError);
  ASSERT_EQ(dialogs.warnings.size(), 1u);
  EXPECT_EQ(dialogs.warnings[0],
            "INPUT ERROR\r\r(  Case's test score on Task Y:  )\r\r"
            "Data have not been entered in this field.");
}

double Read(const std::string& text) {
  tRecordingDialogs dialogs;
  double value = ReadNumber(text, kCaption, dialogs);
  EXPECT_FALSE(InputError) << text;
  return value;
}

TEST(ReadNumber, GivesTheCorrectlyRoundedDouble) {
  // Digit-by-digit accumulation in double gets these wrong.
  EXPECT_EQ(Read("0.0012"), 0.0012);
  EXPECT_EQ(Read(".0012"), 0.0012);
  EXPECT_EQ(Read("-.0063"), -0.0063);
  EXPECT_EQ(Read("0.123456789012"), 0.123456789012);
  // Exactly the double nearest to 0.1, written out in full.
  EXPECT_EQ(Read("0.1000000000000000055511151231257827021181583404541015625"), 0.1);
  // Halfway between two doubles: ties go to even; any further digit decides.
  EXPECT_EQ(Read("9007199254740993"), 9007199254740992.0);
  EXPECT_EQ(Read("9007199254740993.00000000000000000000001"), 9007199254740994.0);
  EXPECT_EQ(Read("1.00000000000000011102230246251565404236316680908203125"), 1.0);
  EXPECT_EQ(Read("1.00000000000000011102230246251565404236316680908203126"),
            1.0000000000000002220446049250313);
  // Blanks between digits do not change the value.
  EXPECT_EQ(Read("0.00 12"), 0.0012);
}

TEST(ReadNumber, EverySixCharacterFractionIsCorrectlyRounded) {
  // All texts ".ddddd" and "0.dddd" and "-.dddd": compared with the C library's
  // conversion of the same decimal.  The buffer holds any int, so that no
  // optimisation level sees a text cut short.
  char text[16];
  for (int i = 0; i < 100000; ++i) {
    std::snprintf(text, sizeof text, ".%05d", i);
    ASSERT_EQ(Read(text), std::strtod(text, nullptr)) << text;
  }
  for (int i = 0; i < 10000; ++i) {
    std::snprintf(text, sizeof text, "-.%04d", i);
    ASSERT_EQ(Read(text), std::strtod(text, nullptr)) << text;
  }
}

TEST(ReadNumber, LongTexts) {
  // Far beyond the double range: the floating-point overflow error.
  EXPECT_THROW(Read(std::string(400, '9')), EOverflow);
  // Far below it: underflows quietly.
  EXPECT_EQ(Read("." + std::string(400, '0') + "1"), 0.0);
  EXPECT_EQ(Read(std::string(300, '0') + "42"), 42.0);
  EXPECT_EQ(Read("1" + std::string(22, '0')), 1e22);
}

TEST(RangeChecks, StandardDeviationMessageHasThreeLines) {
  tRecordingDialogs dialogs;
  EXPECT_FALSE(CheckStandardDeviation(kCaption, 0, dialogs, '.'));
  EXPECT_FALSE(CheckStandardDeviation(kCaption, -2.5, dialogs, '.'));
  EXPECT_TRUE(CheckStandardDeviation(kCaption, 1e-300, dialogs, '.'));
  ASSERT_EQ(dialogs.warnings.size(), 2u);
  EXPECT_EQ(dialogs.warnings[0], "INPUT ERROR\r(  " + kCaption +
                                     "  0.000  )\rStandard deviations must have a positive value.");
  EXPECT_EQ(dialogs.warnings[1],
            "INPUT ERROR\r(  " + kCaption +
                "  -2.500  )\rStandard deviations must have a positive value.");
  EXPECT_EQ(dialogs.beeps, 0);
}

TEST(RangeChecks, CorrelationBoundsAreExcluded) {
  const std::string caption = "Correlation between Tests X and Y in normative sample:";
  tRecordingDialogs dialogs;
  EXPECT_TRUE(CheckCorrelation(caption, 0.999, dialogs, '.'));
  EXPECT_TRUE(CheckCorrelation(caption, -0.999, dialogs, '.'));
  EXPECT_TRUE(CheckCorrelation(caption, 0, dialogs, '.'));
  EXPECT_TRUE(dialogs.warnings.empty());
  EXPECT_FALSE(CheckCorrelation(caption, 1, dialogs, '.'));
  EXPECT_FALSE(CheckCorrelation(caption, -1, dialogs, '.'));
  EXPECT_FALSE(CheckCorrelation(caption, 12.3456, dialogs, '.'));
  ASSERT_EQ(dialogs.warnings.size(), 3u);
  EXPECT_EQ(dialogs.warnings[0],
            "INPUT ERROR\r(  " + caption +
                "  1.000  )\rThe correlation must lie between  -1.0 and 1.0. ");
  EXPECT_EQ(dialogs.warnings[1],
            "INPUT ERROR\r(  " + caption +
                "  -1.000  )\rThe correlation must lie between  -1.0 and 1.0. ");
  EXPECT_EQ(dialogs.warnings[2],
            "INPUT ERROR\r(  " + caption +
                "  12.346  )\rThe correlation must lie between  -1.0 and 1.0. ");
}

TEST(RangeChecks, SampleSizeMustBeAnIntegerAboveTwo) {
  const std::string caption = "Sample size of the normative sample:";
  const std::string text = "The value for sample size must be an integer greater than 2.";
  tRecordingDialogs dialogs;
  EXPECT_TRUE(CheckSampleSize(caption, 3, dialogs, '.'));
  EXPECT_TRUE(CheckSampleSize(caption, 10.0, dialogs, '.'));
  EXPECT_TRUE(CheckSampleSize(caption, 2147483647.0, dialogs, '.'));
  EXPECT_TRUE(dialogs.warnings.empty());
  EXPECT_FALSE(CheckSampleSize(caption, 2, dialogs, '.'));
  EXPECT_FALSE(CheckSampleSize(caption, 2.5, dialogs, '.'));
  EXPECT_FALSE(CheckSampleSize(caption, -3, dialogs, '.'));
  EXPECT_FALSE(CheckSampleSize(caption, 10.5, dialogs, '.'));
  ASSERT_EQ(dialogs.warnings.size(), 4u);
  EXPECT_EQ(dialogs.warnings[0], "INPUT ERROR\r(  " + caption + "  2.000  )\r" + text);
  EXPECT_EQ(dialogs.warnings[1], "INPUT ERROR\r(  " + caption + "  2.500  )\r" + text);
  EXPECT_EQ(dialogs.warnings[2], "INPUT ERROR\r(  " + caption + "  -3.000  )\r" + text);
  EXPECT_EQ(dialogs.warnings[3], "INPUT ERROR\r(  " + caption + "  10.500  )\r" + text);
}

TEST(RangeChecks, SampleSizeBeyondTheEnginesCountIsRefused) {
  const std::string caption = "Sample size of the normative sample:";
  tRecordingDialogs dialogs;
  EXPECT_FALSE(CheckSampleSize(caption, 2147483648.0, dialogs, '.'));
  EXPECT_FALSE(CheckSampleSize(caption, 1e300, dialogs, '.'));
  ASSERT_EQ(dialogs.warnings.size(), 2u);
  EXPECT_EQ(dialogs.warnings[0],
            "INPUT ERROR\r(  " + caption +
                "  2147483648.000  )\rThe value for sample size must be an integer greater than 2 "
                "and at most 2147483647.");
}

TEST(RangeChecks, MessagesUseTheUsersDecimalSeparator) {
  tRecordingDialogs dialogs;
  CheckStandardDeviation(kCaption, -0.25, dialogs, ',');
  CheckSampleSize("N:", 2.5, dialogs, ',');
  ASSERT_EQ(dialogs.warnings.size(), 2u);
  EXPECT_EQ(dialogs.warnings[0],
            "INPUT ERROR\r(  " + kCaption +
                "  -0,250  )\rStandard deviations must have a positive value.");
  EXPECT_EQ(dialogs.warnings[1],
            "INPUT ERROR\r(  N:  2,500  )\rThe value for sample size must be an integer greater "
            "than 2.");
}

}  // namespace
