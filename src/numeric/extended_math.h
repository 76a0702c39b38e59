// The natural logarithm and the exponential function in extended precision,
// computed with additions, multiplications and divisions only.
//
// Why not the C library's logl and expl: on x86-64 they are built on the
// processor's x87 instructions FYL2X and F2XM1, whose last bits differ
// between processor makers (and models).  A report computed on one computer
// would then differ in its last digits from the same report computed on
// another, and reference values made on one machine would not hold on the
// next.  The basic operations are rounded exactly as IEEE 754 prescribes on
// every processor, so these routines give the same bits everywhere.  Both
// are accurate to about one unit in the last place.
//
// Methods: the logarithm reduces x to 2^k (1 + f) with 1 + f in
// [sqrt(1/2), sqrt(2)), writes ln(1 + f) = 2 atanh(s), s = f / (2 + f), and
// rearranges the series so that the large terms are exact (the scheme of
// the Sun fdlibm logarithm, P. J. Plauger, "The Standard C Library",
// Prentice Hall 1992, ch. 7; W. J. Cody and W. Waite, "Software Manual for
// the Elementary Functions", Prentice Hall 1980, ch. 5).  The exponential
// reduces x to k ln 2 + r with |r| <= ln(2)/2, using a two-part ln 2 whose
// leading part makes k ln 2 exact, and sums the Taylor series of e^r - 1
// (Cody and Waite, ch. 6).  Floating-point faults are raised as the C
// library raises them: an invalid operation for the logarithm of a negative
// number, a division by zero for the logarithm of zero, an overflow for an
// exponential beyond the extended range.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "numeric/real.h"

namespace extended_math {

// ln 2 = kLn2High + kLn2Low; kLn2High has 48 significant bits, so that
// k * kLn2High is exact for every exponent k of the extended format.
inline constexpr tReal kLn2High = 0xb17217f7d1cfp-48L;
inline constexpr tReal kLn2Low = 0xf35793c7673007e6p-113L;
inline constexpr tReal kLog2E = 0xb8aa3b295c17f0bcp-63L;  // 1 / ln 2
inline constexpr tReal kSqrtHalf = 0xb504f333f9de6484p-64L;

// 2 atanh(s) = 2s + s R(s^2), R(z) = sum over j >= 1 of 2 z^j / (2j + 1);
// twelve terms bring the truncation below 2^-70 of the result for
// s^2 <= 0.0295 (that is, 1 + f within [sqrt(1/2), sqrt(2))).
inline tReal AtanhTail(tReal z) {
  tReal r = 2.0L / 25;
  r = 2.0L / 23 + z * r;
  r = 2.0L / 21 + z * r;
  r = 2.0L / 19 + z * r;
  r = 2.0L / 17 + z * r;
  r = 2.0L / 15 + z * r;
  r = 2.0L / 13 + z * r;
  r = 2.0L / 11 + z * r;
  r = 2.0L / 9 + z * r;
  r = 2.0L / 7 + z * r;
  r = 2.0L / 5 + z * r;
  r = 2.0L / 3 + z * r;
  return z * r;
}

// The two routines below read and write the exponent directly, through
// the format's bits (real_math::Bits): the C library's frexpl and scalbnl
// are out-of-line calls that check for errno and special values, and cost
// as much as the whole series of the logarithm.  Both are exact, so the
// bits are those the library calls give.
inline constexpr int kExponentBias = 16383;

// x = m 2^k with m in [1/2, 1), for a positive finite x, as frexp splits it.
inline tReal SplitExponent(tReal x, int& k) {
  real_math::tRealBits bits = real_math::Bits(x);
  if (bits.sign_exponent == 0) return real_math::frexp(x, &k);  // subnormal
  k = bits.sign_exponent - (kExponentBias - 1);
  bits.sign_exponent = kExponentBias - 1;
  return real_math::FromBits(bits);
}

// x 2^k, as scalbn gives it: one multiplication by 2^k where 2^k is a
// normal number, which is exact or (for a subnormal result) rounded once.
inline tReal ScaleByPowerOfTwo(tReal x, int k) {
  if (k < 1 - kExponentBias || k > kExponentBias) return real_math::scalbn(x, k);
  return x * real_math::FromBits({uint64_t{1} << 63, static_cast<uint16_t>(k + kExponentBias)});
}

}  // namespace extended_math

// ln x.  NaN for a negative x or a NaN (invalid operation for a negative
// x), minus infinity for zero (division by zero).
inline tReal ExtendedLog(tReal x) {
  using namespace extended_math;
  if (!(x > 0) || real_math::isinf(x)) {
    if (x == 0) return -1 / (x * x);      // -inf, division by zero
    if (x < 0) return (x - x) / (x - x);  // NaN, invalid operation
    return x + x;                         // NaN stays NaN, +inf stays +inf
  }
  int k;
  tReal m = SplitExponent(x, k);  // x = m 2^k, m in [1/2, 1), exact
  if (m < kSqrtHalf) {
    m = 2 * m;
    k = k - 1;
  }
  // 1 + f = m in [sqrt(1/2), sqrt(2)); f = m - 1 is exact.
  const tReal f = m - 1;
  const tReal s = f / (2 + f);
  const tReal hfsq = f * f / 2;
  const tReal r = AtanhTail(s * s);
  const tReal kk = k;
  // ln(1 + f) = f - hfsq + s (hfsq + R): the large terms f and k ln2_high
  // are exact and added last.
  return kk * kLn2High - ((hfsq - (s * (hfsq + r) + kk * kLn2Low)) - f);
}

// e^x.  Infinity with an overflow beyond the extended range, zero (an
// underflow, which passes silently) far below it; a NaN stays a NaN.
inline tReal ExtendedExp(tReal x) {
  using namespace extended_math;
  if (!(x == x)) return x + x;
  if (x > 11357.0L) {
    if (real_math::isinf(x)) return x;
    const tReal huge = 0x1p16383L;
    return huge * huge;  // +inf, overflow
  }
  if (x < -11400.0L) {
    if (real_math::isinf(x)) return 0;
    const tReal tiny = 0x1p-16382L;
    return tiny * tiny;  // 0, underflow
  }
  // x = k ln 2 + r, |r| <= about ln(2)/2; x - k ln2_high is exact.  k is
  // x / ln 2 rounded to the nearest integer (halves to even, as nearbyint
  // rounds): adding and taking away 1.5 * 2^63 leaves no bits after the
  // point in the 64-bit significand, for |x / ln 2| below 2^62, far more
  // than the 16,450 reached here.  It spares the C library's nearbyintl,
  // which saves and restores the floating-point environment on every call.
  constexpr tReal kRoundingShift = 0x1.8p63L;
  const tReal kk = (x * kLog2E + kRoundingShift) - kRoundingShift;
  const tReal r = (x - kk * kLn2High) - kk * kLn2Low;
  // e^r - 1 = r + r^2 (1/2! + r/3! + ... ); seventeen terms bring the
  // truncation below 2^-74 for |r| <= 0.35.
  tReal p = 1.0L / 355687428096000;  // 1/17!
  p = 1.0L / 20922789888000 + r * p;
  p = 1.0L / 1307674368000 + r * p;
  p = 1.0L / 87178291200 + r * p;
  p = 1.0L / 6227020800 + r * p;
  p = 1.0L / 479001600 + r * p;
  p = 1.0L / 39916800 + r * p;
  p = 1.0L / 3628800 + r * p;
  p = 1.0L / 362880 + r * p;
  p = 1.0L / 40320 + r * p;
  p = 1.0L / 5040 + r * p;
  p = 1.0L / 720 + r * p;
  p = 1.0L / 120 + r * p;
  p = 1.0L / 24 + r * p;
  p = 1.0L / 6 + r * p;
  p = 0.5L + r * p;
  const tReal em1 = r + (r * r) * p;
  return ScaleByPowerOfTwo(1 + em1, static_cast<int>(kk));
}
