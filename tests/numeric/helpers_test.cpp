// The generator, the argument checks, the powers and the gamma functions.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <set>

#include "expect_error.h"
#include "numeric/distrib.h"

namespace {

constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

// s * factor^n mod m, computed independently of the generator's split
// arithmetic.
int64_t PowMod(int64_t s, int64_t factor, int64_t n, int64_t m) {
  for (; n > 0; n >>= 1, factor = factor * factor % m)
    if (n & 1) s = s * factor % m;
  return s;
}

TEST(UniformRandom, StartSequenceStateAndLongRun) {
  ResetUniformRandom();
  const int32_t z[5] = {1120735397, 376398899, 248445365, 467233766, 2069265132};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(UniformRandom(), static_cast<long double>(z[i]) * 4.656613e-10L) << i;
    if (i == 0) {
      EXPECT_EQ(RandomSeed1, 415845629);
      EXPECT_EQ(RandomSeed2, 1442593794);
    }
  }
  // A million draws: always strictly inside (0, 1), and each state word is
  // its start value times its multiplier to the millionth power.
  ResetUniformRandom();
  long double low = 1, high = 0;
  for (int i = 0; i < 1000000; ++i) {
    const long double u = UniformRandom();
    low = std::min(low, u);
    high = std::max(high, u);
  }
  EXPECT_GT(low, 0);
  EXPECT_LT(high, 1);
  EXPECT_EQ(RandomSeed1, PowMod(kRandomSeed1Start, 40014, 1000000, 2147483563));
  EXPECT_EQ(RandomSeed2, PowMod(kRandomSeed2Start, 40692, 1000000, 2147483399));
}

TEST(Helpers, NearlyEqualAndIsWholeNumber) {
  EXPECT_TRUE(NearlyEqual(1, 1 + 4e-12L));
  EXPECT_FALSE(NearlyEqual(1, 1 + 6e-12L));
  EXPECT_FALSE(NearlyEqual(0, 5e-12L));  // strict
  EXPECT_TRUE(IsWholeNumber(3.0000000000001L));
  EXPECT_TRUE(IsWholeNumber(-2147483646));
  EXPECT_FALSE(IsWholeNumber(2.5L));
  EXPECT_FALSE(IsWholeNumber(3e9L));
  EXPECT_FALSE(IsWholeNumber(2147483647));
  EXPECT_FALSE(IsWholeNumber(kNaN));
}

TEST(Helpers, CheckBoundRulesMessagesAndRaiseIf) {
  struct Case {
    int id;
    long double value, limit;
    bool raises;
  } cases[] = {{1302, 0, 0, false},    {1301, 0, 0, true},    {1301, 1e-300L, 0, false},
               {1306, -1, 0, true},    {1303, 1, 1, true},    {1307, 0.5L, 1, false},
               {1315, 1, 1, false},    {1315, 1.5L, 1, true}, {1304, -1e30L, 1e30L, false},
               {1313, kNaN, 0, false}, {1309, kNaN, 0, true}, {1311, kNaN, 0, true},
               {1302, kNaN, 0, true},  {1315, kNaN, 1, true}, {1234, -5, 5, false}};
  for (const Case& c : cases) {
    if (c.raises)
      ExpectArgumentError([&] { CheckBound(c.id, c.value, c.limit); }, c.id,
                          ArgumentMessageText(c.id) + FormatLimit(c.limit, '.'));
    else
      EXPECT_TRUE(CheckBound(c.id, c.value, c.limit)) << c.id;
  }
  ExpectArgumentError([] { CheckBound(1301, 0, 0); }, 1301, "Parameter 1 must be greater than 0");
  ExpectArgumentError([] { RaiseIf(true, 1363); }, 1363, "The distribution has no variance");
  EXPECT_TRUE(RaiseIf(false, 1363));
  // Every id has its own text.
  std::set<std::string> texts;
  for (int id : {1301, 1302, 1303, 1304, 1305, 1306, 1307, 1308, 1309, 1310, 1311, 1312, 1313, 1314,
                 1315, 1361, 1363})
    EXPECT_TRUE(texts.insert(ArgumentMessageText(id)).second) << id;
}

TEST(Helpers, FormatLimit) {
  EXPECT_EQ(FormatLimit(0.5L, '.'), "0.5");
  EXPECT_EQ(FormatLimit(Unbounded, '.'), "2147483647");
  EXPECT_EQ(FormatLimit(-Unbounded, ','), "-2147483647");
  EXPECT_EQ(FormatLimit(2.0L / 3, '.'), "0.666666666667");
  EXPECT_EQ(FormatLimit(-1e-13L, ','), "0");
  EXPECT_EQ(FormatLimit(1e20L, '.'), "100000000000000000000");
  EXPECT_EQ(FormatLimit(-std::numeric_limits<long double>::max(), '.').size(),
            4934u);  // sign, digits
  EXPECT_EQ(FormatLimit(-1.25L, ','), "-1,25");
}

// The library writes a bound with '.'; the error keeps the bound, so that
// the program can write the message again with the user's separator.
TEST(Helpers, ArgumentErrorsKeepTheirBound) {
  try {
    CheckBound(1303, 1, 0.5L);
    ADD_FAILURE() << "1 is not below 0.5";
  } catch (const EArgumentError& e) {
    EXPECT_EQ(e.Message(), "Parameter 1 must be less than 0.5");
    EXPECT_EQ(e.Limit(), 0.5L);
    EXPECT_EQ(ArgumentErrorMessage(e, ','), "Parameter 1 must be less than 0,5");
    EXPECT_EQ(ArgumentErrorMessage(e, '.'), e.Message());
  }
  try {
    RaiseIf(true, 1361);
    ADD_FAILURE() << "RaiseIf(true) must raise";
  } catch (const EArgumentError& e) {
    EXPECT_FALSE(e.Limit().has_value());
    EXPECT_EQ(ArgumentErrorMessage(e, ','), e.Message());
  }
}

TEST(Helpers, Powers) {
  EXPECT_EQ(IntegerPower(2, 10), 1024);
  EXPECT_EQ(IntegerPower(2, -3), 0.125L);
  EXPECT_EQ(IntegerPower(1, INT32_MIN), 1);
  EXPECT_EQ(IntegerPower(1.0000001L, 37), 1.00000370000666000646L);  // golden bits
  EXPECT_EQ(RealPower(0, 1.0L / 3), 0);
  for (long double x : {-2.0L, 0.0L, 7.5L, kNaN})
    EXPECT_EQ(RealPower(x, 0), 1);
  EXPECT_EQ(RealPower(2, -3), 0.125L);
  EXPECT_EQ(RealPower(-2, 3), -8);  // integer path: a negative base is fine
  EXPECT_NEAR(RealPower(8, 1.0L / 3), 2, 1e-17);
  // Faults end the computation instead of coming back as NaN or infinity.
  ClearFloatingPointFlags();
  EXPECT_THROW(RealPower(-8, 1.0L / 3), EInvalidOp);
  EXPECT_THROW(RealPower(0, -0.5L), EZeroDivide);
  EXPECT_THROW(RealPower(0, -2), EZeroDivide);
  EXPECT_THROW(RealPower(10, 6000), EOverflow);
  EXPECT_THROW(RealPower(10, 6000.5L), EOverflow);
  EXPECT_EQ(RealPower(10, -6000.5L), 0);  // underflow passes
}

TEST(Helpers, LogGamma) {
  EXPECT_NEAR(LogGamma(1), 0, 1e-10);
  EXPECT_NEAR(LogGamma(2), 0, 1e-10);
  EXPECT_NEAR(LogGamma(0.5L), std::log(std::sqrt(3.14159265358979323846L)), 1e-10);
  for (long double x : {0.1L, 3.7L, 25.0L, 123.4L, 1e6L})
    EXPECT_NEAR(LogGamma(x), std::lgamma(x), 1e-9 * std::max(1.0L, std::fabs(std::lgamma(x))));
  EXPECT_EQ(LogGamma(3.7L), 1.42807232663904546733L);  // golden bits
  // So close to 0 that the series divides by zero: an error, not infinity.
  ClearFloatingPointFlags();
  EXPECT_THROW(LogGamma(1e-30L), EZeroDivide);
  EXPECT_THROW(LogGamma(-2.5L), EInvalidOp);
}

TEST(Helpers, IncompleteGammaAgainstClosedForms) {
  EXPECT_EQ(IncompleteGammaP(0, 0.5L), 0);
  for (long double x : {0.3L, 5.0L})
    EXPECT_NEAR(IncompleteGammaP(x, 1), 1 - std::exp(-x), 1e-10);
  // P(1/2, x) = erf(sqrt x), on both sides of the series/fraction switch.
  for (long double x = 0.01L; x < 40; x *= 1.7L)
    EXPECT_NEAR(IncompleteGammaP(x, 0.5L), std::erf(std::sqrt(x)), 2e-11) << x;
  // P(2, x) = 1 - (1 + x) e^-x.
  for (long double x : {0.5L, 2.9L, 3.1L, 60.0L})
    EXPECT_NEAR(IncompleteGammaP(x, 2), 1 - (1 + x) * std::exp(-x), 1e-10) << x;
  // Golden bits of both branches (`build/bench/golden_values gamma 2.5 3`).
  EXPECT_EQ(IncompleteGammaP(2.5L, 3), 0.456186884125880265779L);
  EXPECT_EQ(IncompleteGammaP(10, 3.5L), 0.994430316926918077681L);
}

TEST(Helpers, IncompleteGammaRejectsBadArguments) {
  ExpectArgumentError([] { IncompleteGammaP(-1, 1); }, 1302, "Value must be at least 0");
  ExpectArgumentError([] { IncompleteGammaP(1, 0); }, 1301, "Parameter 1 must be greater than 0");
  const std::string too_large = ArgumentMessageText(1361);
  ExpectArgumentError([] { IncompleteGammaP(3e9L, 1); }, 1361, too_large);
  ExpectArgumentError([] { IncompleteGammaP(1, 3e9L); }, 1361, too_large);
  // A NaN passes every comparison; it must end promptly, not spin.
  EXPECT_THROW(IncompleteGammaP(kNaN, 0.5L), EInvalidOp);
  EXPECT_THROW(IncompleteGammaP(2, kNaN), EInvalidOp);
  // x is checked in full before a.
  ExpectArgumentError([] { IncompleteGammaP(-1, kNaN); }, 1302, "Value must be at least 0");
  ExpectArgumentError([] { IncompleteGammaP(3e9L, kNaN); }, 1361, too_large);
  EXPECT_THROW(GammaContinuedFraction(kNaN, 0.5L), EInvalidOp);
  // A series that has not converged after 100 terms gives its partial sum.
  EXPECT_LT(GammaSeries(300, 0.5L), 1);
}

TEST(FloatingPointFaults, FlagsBecomeErrors) {
  volatile long double zero = 0, huge = 1e4000L;
  volatile double dzero = 0;
  ClearFloatingPointFlags();
  EXPECT_NO_THROW(RaiseOnFloatingPointFault());
  volatile long double r = huge * huge;  // overflow (x87)
  EXPECT_THROW(RaiseOnFloatingPointFault(), EOverflow);
  EXPECT_NO_THROW(RaiseOnFloatingPointFault());  // the error cleared the flag
  r = 1 / zero;
  EXPECT_THROW(RaiseOnFloatingPointFault(), EZeroDivide);
  volatile double d = dzero / dzero;  // invalid (SSE)
  r = 1 / zero;
  EXPECT_THROW(RaiseOnFloatingPointFault(), EInvalidOp);  // invalid comes first
  r = 1e-4000L / huge;                                    // underflow and inexact pass
  r = r + 1 / 3.0L;
  EXPECT_NO_THROW(RaiseOnFloatingPointFault());
  (void)d;
  EXPECT_THROW(CheckFinite(kNaN), EInvalidOp);
  EXPECT_THROW(CheckFinite(std::numeric_limits<long double>::infinity()), EOverflow);
  EXPECT_NO_THROW(CheckFinite(1e4000L));
  EXPECT_STREQ(EZeroDivide().what(), "Floating point division by zero");
}

}  // namespace
