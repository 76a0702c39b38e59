// tReal: the one type of every computed real quantity of the core (numeric
// library, engines, analysis) and of quorrel-report.
//
// It is the x87 80-bit extended format everywhere: long double itself where
// long double is that format (x86-64 Linux, MinGW-w64), otherwise the
// software implementation of the format, tSoftExtended, which gives the
// same bits.  -DQUORREL_SOFT_EXTENDED=ON forces the software type on x86-64
// too, so that it can be checked against the processor.
//
// Code that calls a <cmath> function on a tReal calls it through the
// namespace real_math (real_math::fabs(x) rather than std::fabs(x)): for
// long double and double these are the very std:: functions, and the
// software type adds its own overloads.
#pragma once

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

#if defined(QUORREL_SOFT_EXTENDED) || LDBL_MANT_DIG != 64 || LDBL_MAX_EXP != 16384
#define QUORREL_REAL_IS_SOFT 1
#include "numeric/soft_extended.h"
using tReal = tSoftExtended;
#else
#define QUORREL_REAL_IS_SOFT 0
#include <bit>
using tReal = long double;
#endif

namespace real_math {

using std::ceil;
using std::fabs;
using std::floor;
using std::frexp;
using std::isfinite;
using std::isinf;
using std::isnan;
using std::llrint;
using std::nextafter;
using std::scalbn;
using std::signbit;
using std::sqrt;
using std::trunc;

#if QUORREL_REAL_IS_SOFT
using ::ceil;
using ::fabs;
using ::floor;
using ::frexp;
using ::isfinite;
using ::isinf;
using ::isnan;
using ::llrint;
using ::nextafter;
using ::scalbn;
using ::signbit;
using ::sqrt;
using ::trunc;
#endif

// The format's bits: the significand with its integer bit, and the sign
// with the 15-bit biased exponent.
struct tRealBits {
  uint64_t significand;
  uint16_t sign_exponent;
};

#if QUORREL_REAL_IS_SOFT
inline tRealBits Bits(tReal x) {
  return {x.Significand(), x.SignExponent()};
}
inline tReal FromBits(tRealBits b) {
  return tSoftExtended::FromBits(b.significand, b.sign_exponent);
}
#else
// As the x86-64 processor keeps the format in memory: the significand,
// then the sign and exponent, then six bytes of padding (unsigned char:
// their value is indeterminate, which std::bit_cast allows only into such
// bytes).
struct tX87Layout {
  uint64_t significand;
  uint16_t sign_exponent;
  unsigned char padding[6];
};
static_assert(sizeof(tX87Layout) == sizeof(long double));
inline tRealBits Bits(tReal x) {
  const tX87Layout layout = std::bit_cast<tX87Layout>(x);
  return {layout.significand, layout.sign_exponent};
}
inline tReal FromBits(tRealBits b) {
  return std::bit_cast<long double>(tX87Layout{b.significand, b.sign_exponent, {}});
}
#endif

// The text std::to_chars(first, last, x, format, precision) writes for the
// x87 format, the whole of it however long (a fixed-point number has up to
// 4933 digits before the point).
inline std::string ToChars(tReal x, std::chars_format format, int precision) {
#if QUORREL_REAL_IS_SOFT
  const soft_extended::tFormat soft_format =
      format == std::chars_format::fixed        ? soft_extended::tFormat::kFixed
      : format == std::chars_format::scientific ? soft_extended::tFormat::kScientific
                                                : soft_extended::tFormat::kGeneral;
  return soft_extended::ToText(x, soft_format, precision);
#else
  char small[128];
  std::to_chars_result written = std::to_chars(small, small + sizeof small, x, format, precision);
  if (written.ec == std::errc()) return std::string(small, written.ptr);
  std::string text(static_cast<std::size_t>(5000 + precision), '\0');
  written = std::to_chars(text.data(), text.data() + text.size(), x, format, precision);
  text.resize(static_cast<std::size_t>(written.ptr - text.data()));
  return text;
#endif
}

}  // namespace real_math
