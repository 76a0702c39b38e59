// The locale-free number formatting against the C library's printf in the
// "C" locale (the test program never changes its locale), digit for digit:
// the report, the messages and the data file must read the same whatever
// the formatting is built on.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/text_format.h"

namespace {

std::string Printf(const char* format, int a, int b, tReal value) {
  std::vector<char> text(6000);
  const long double v = static_cast<long double>(value);  // keeps long double: printf's own type
  int length = std::snprintf(text.data(), text.size(), format, a, b, v);
  return std::string(text.data(), static_cast<std::size_t>(length));
}

// Values where rounding, carries and the ends of the range are at stake,
// and a sweep of random bit patterns over every exponent.
std::vector<tReal> Values() {
  std::vector<tReal> values = {0.0L,
                               -0.0L,
                               0.5L,
                               1.5L,
                               2.5L,
                               -2.5L,
                               0.0005L,
                               0.0015L,
                               9.9995L,
                               999.9995L,
                               1e-5L,
                               0.1L,
                               1.0L / 3,
                               -2.79508497187473704294L,
                               8.19313167350689838031e-03L,
                               123456789012345678.0L,
                               1e300L,
                               LDBL_MAX,
                               -LDBL_MAX,
                               LDBL_MIN,
                               LDBL_TRUE_MIN,
                               std::numeric_limits<tReal>::infinity(),
                               -std::numeric_limits<tReal>::infinity(),
                               std::numeric_limits<tReal>::quiet_NaN()};
  std::mt19937_64 bits(20240611);
  for (int i = 0; i < 3000; ++i) {
    tReal value = real_math::scalbn(static_cast<tReal>(bits() >> 1) / 0x1p63L,
                                    static_cast<int>(bits() % 140) - 70);
    values.push_back(i % 2 == 0 ? value : -value);
  }
  return values;
}

TEST(TextFormat, FixedPointAsPrintfWrites) {
  for (tReal value : Values()) {
    for (const auto& [width, precision] :
         {std::pair{0, 0}, {3, 3}, {8, 4}, {9, 2}, {14, 6}, {1, 12}}) {
      ASSERT_EQ(FormatFixed(value, width, precision, '.'),
                Printf("%*.*Lf", width, precision, value))
          << static_cast<double>(value);
    }
  }
  // The huge end of the range, whose integer part alone has 4933 digits.
  EXPECT_EQ(FormatFixed(LDBL_MAX, 0, 3, '.'), Printf("%*.*Lf", 0, 3, LDBL_MAX));
  EXPECT_EQ(FormatFixed(-1.25L, 8, 3, ','), "  -1,250");
}

TEST(TextFormat, ScientificAndFullPrecisionAsPrintfWrites) {
  for (tReal value : Values()) {
    ASSERT_EQ(FormatScientific(value, 5), Printf("%*.*Le", 0, 5, value));
    if (real_math::isfinite(value)) {
      ASSERT_EQ(FormatFullPrecision(value), Printf("%*.*Le", 0, 20, value));
    }
  }
  EXPECT_EQ(FormatFullPrecision(-std::numeric_limits<tReal>::infinity()), "-inf");
  EXPECT_EQ(FormatFullPrecision(std::numeric_limits<tReal>::quiet_NaN()), "nan");
}

TEST(TextFormat, GeneralAsPrintfWrites) {
  for (tReal value : Values()) {
    for (int significant : {1, 6, 17})
      ASSERT_EQ(FormatGeneral(value, significant), Printf("%*.*Lg", 0, significant, value))
          << static_cast<double>(value);
  }
  // The switch to an exponent, and trailing zeros dropped.
  EXPECT_EQ(FormatGeneral(0.5, 6), "0.5");
  EXPECT_EQ(FormatGeneral(123456, 6), "123456");
  EXPECT_EQ(FormatGeneral(1234567, 6), "1.23457e+06");
  EXPECT_EQ(FormatGeneral(0.0001, 6), "0.0001");
  EXPECT_EQ(FormatGeneral(0.00001, 6), "1e-05");
}

TEST(TextFormat, IntegersRightAligned) {
  EXPECT_EQ(FormatLine("%8D|%1D|%D|%%", {int32_t{20}, int32_t{-7}, INT32_MIN}, '.'),
            "      20|-7|-2147483648|%");
  EXPECT_EQ(FormatLine("%9.1f%%", {12.25L}, ','), "     12,2%");  // a tie goes to the even digit
}

}  // namespace
