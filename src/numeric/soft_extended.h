// The x87 80-bit extended format computed in software, bit for bit as the
// x86 processor computes it with its precision set to extended and its
// rounding to nearest: where long double is not that format (WebAssembly,
// ARM), the core computes with this class and gives the same digits.
//
// The format: a sign, a 15-bit exponent biased by 16383 and a 64-bit
// significand whose leading (integer) bit is explicit.  What the processor
// does, and this class does:
// - every result is rounded once, to 64 significant bits, to nearest with
//   ties to even; a result below 2^-16382 is rounded at the subnormal's
//   last place (exponent field 0, integer bit 0), and one that rounds up
//   to 2^-16382 comes out normal;
// - an operand with exponent field 0 and integer bit 1 (a pseudo-denormal)
//   is read as exponent field 1; an operand whose integer bit disagrees
//   with a non-zero, non-maximal exponent (an unnormal), or with the
//   maximal one (a pseudo-infinity or pseudo-NaN), is an invalid operation
//   with the default NaN as result;
// - the default NaN (an invalid operation: 0 * inf, inf - inf, 0 / 0,
//   sqrt(-1)) is negative, with significand 0xC000000000000000; a signalling
//   NaN operand raises an invalid operation and is made quiet; of two NaN
//   operands the one with the larger significand is the result (on equal
//   significands, the positive one);
// - the fault flags are sticky: invalid operation (also for <, <=, >, >=
//   with any NaN, and for == and != with a signalling one), division by zero,
//   overflow, underflow (a tiny result, judged after rounding, that is also
//   inexact) and inexact.  They are kept per thread, as the processor keeps
//   its status word.
//
// The arithmetic works on the 64-bit significands with 128-bit integer
// products and quotients (unsigned __int128, which GCC and clang offer on
// every 64-bit target and on WebAssembly); nothing here depends on the
// processor's own floating point except where a double is converted.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <string>
#include <utility>

namespace soft_extended {

__extension__ typedef unsigned __int128 tUint128;

// The sticky flags, with the bit values of the x87 status word (which are
// also glibc's FE_INVALID, FE_DIVBYZERO, FE_OVERFLOW, FE_UNDERFLOW and
// FE_INEXACT on x86).
inline constexpr unsigned kInvalid = 0x01;
inline constexpr unsigned kDivideByZero = 0x04;
inline constexpr unsigned kOverflow = 0x08;
inline constexpr unsigned kUnderflow = 0x10;
inline constexpr unsigned kInexact = 0x20;
inline constexpr unsigned kAllFlags = kInvalid | kDivideByZero | kOverflow | kUnderflow | kInexact;

inline thread_local unsigned flags = 0;

inline unsigned TestFlags(unsigned which) {
  return flags & which;
}
inline void ClearFlags(unsigned which) {
  flags &= ~which;
}

inline constexpr int kBias = 16383;
inline constexpr uint16_t kMaxExponent = 0x7fff;
inline constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
inline constexpr uint64_t kQuietBit = uint64_t{1} << 62;

}  // namespace soft_extended

// The quick paths are forced inline: left to the compiler, the calls cost
// more than the arithmetic of a normal operand pair.
#define QUORREL_SOFT_QUICK [[gnu::always_inline]] inline

namespace soft_extended {

// The significands' products and quotients, in 64-bit halves.  Where the
// processor has no 64 x 64 -> 128-bit multiplication and no 128 / 64-bit
// division (WebAssembly), the compiler makes unsigned __int128 arithmetic
// calls into its runtime (__multi3, __udivti3: generic 128-bit routines,
// their results passed through memory); these forms of two 32-bit digits
// stay in 64-bit registers.  x86-64 has both instructions and uses them.

// hi:lo = a b.
QUORREL_SOFT_QUICK void MultiplyWideInHalves(uint64_t a, uint64_t b, uint64_t& hi, uint64_t& lo) {
  const uint64_t a0 = a & 0xffffffff, a1 = a >> 32, b0 = b & 0xffffffff, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  // The middle column's sum, below 3 * 2^32 * (2^32 - 1) + 2^32 < 2^64.
  const uint64_t middle = (p00 >> 32) + (p01 & 0xffffffff) + (p10 & 0xffffffff);
  lo = (middle << 32) | (p00 & 0xffffffff);
  hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
}

// The quotient of u1:u0 by v, and the remainder in r, for v with its
// leading bit set and u1 < v (so that the quotient fits in 64 bits): long
// division by v's upper 32-bit digit, two quotient digits, each estimate
// put right (it is at most 2 too large) before its remainder is formed.
QUORREL_SOFT_QUICK uint64_t DivideWideInHalves(uint64_t u1, uint64_t u0, uint64_t v, uint64_t& r) {
  constexpr uint64_t kDigit = uint64_t{1} << 32;
  const uint64_t v1 = v >> 32, v0 = v & 0xffffffff;
  const uint64_t u0_1 = u0 >> 32, u0_0 = u0 & 0xffffffff;
  uint64_t q1 = u1 / v1, rest = u1 - q1 * v1;
  while (q1 >= kDigit || q1 * v0 > ((rest << 32) | u0_1)) {
    --q1;
    rest += v1;
    if (rest >= kDigit) break;
  }
  const uint64_t u21 = (u1 << 32) + u0_1 - q1 * v;  // below v, modulo 2^64
  uint64_t q0 = u21 / v1;
  rest = u21 - q0 * v1;
  while (q0 >= kDigit || q0 * v0 > ((rest << 32) | u0_0)) {
    --q0;
    rest += v1;
    if (rest >= kDigit) break;
  }
  r = (u21 << 32) + u0_0 - q0 * v;
  return (q1 << 32) | q0;
}

#if defined(__x86_64__)
QUORREL_SOFT_QUICK void MultiplyWide(uint64_t a, uint64_t b, uint64_t& hi, uint64_t& lo) {
  const tUint128 p = static_cast<tUint128>(a) * b;
  hi = static_cast<uint64_t>(p >> 64);
  lo = static_cast<uint64_t>(p);
}
QUORREL_SOFT_QUICK uint64_t DivideWide(uint64_t u1, uint64_t u0, uint64_t v, uint64_t& r) {
  uint64_t q;
  // u1 < v: the quotient fits, DIV does not fault.
  asm("divq %[v]" : "=a"(q), "=d"(r) : [v] "rm"(v), "a"(u0), "d"(u1) : "cc");
  return q;
}
#else
QUORREL_SOFT_QUICK void MultiplyWide(uint64_t a, uint64_t b, uint64_t& hi, uint64_t& lo) {
  MultiplyWideInHalves(a, b, hi, lo);
}
QUORREL_SOFT_QUICK uint64_t DivideWide(uint64_t u1, uint64_t u0, uint64_t v, uint64_t& r) {
  return DivideWideInHalves(u1, u0, v, r);
}
#endif

}  // namespace soft_extended

class tSoftExtended {
 public:
  constexpr tSoftExtended() = default;
  constexpr tSoftExtended(int v) : tSoftExtended(FromInt64(v)) {}   // NOLINT: exact, as long double
  constexpr tSoftExtended(long v) : tSoftExtended(FromInt64(v)) {}  // NOLINT
  constexpr tSoftExtended(long long v) : tSoftExtended(FromInt64(v)) {}              // NOLINT
  constexpr tSoftExtended(unsigned v) : tSoftExtended(FromUint64(v, false)) {}       // NOLINT
  constexpr tSoftExtended(unsigned long v) : tSoftExtended(FromUint64(v, false)) {}  // NOLINT
  constexpr tSoftExtended(unsigned long long v)                                      // NOLINT
      : tSoftExtended(FromUint64(v, false)) {}
  tSoftExtended(double v);  // NOLINT: exact (a signalling NaN made quiet)
  // The host's long double: its bits where it is this format, otherwise
  // rounded to it (to nearest, ties to even) from binary128, or exact from
  // a long double that is a double.
  constexpr tSoftExtended(long double v) : tSoftExtended(FromLongDouble(v)) {}  // NOLINT

  // The value with these bits: significand (integer bit included) and the
  // sign with the biased exponent.
  static constexpr tSoftExtended FromBits(uint64_t significand, uint16_t sign_exponent) {
    tSoftExtended x;
    x.significand_ = significand;
    x.sign_exponent_ = sign_exponent;
    return x;
  }
  constexpr uint64_t Significand() const { return significand_; }
  constexpr uint16_t SignExponent() const { return sign_exponent_; }

  // Each operation takes an inline quick path when both operands are
  // normal and so is the result; every other case (zeros, subnormals,
  // infinities, NaNs, the edges of the range) goes out of line.
  QUORREL_SOFT_QUICK friend tSoftExtended operator+(tSoftExtended a, tSoftExtended b) {
    return QuickAdd(a, b, 0);
  }
  QUORREL_SOFT_QUICK friend tSoftExtended operator-(tSoftExtended a, tSoftExtended b) {
    return QuickAdd(a, b, 0x8000);
  }
  QUORREL_SOFT_QUICK friend tSoftExtended operator*(tSoftExtended a, tSoftExtended b) {
    if (BothNormal(a, b)) [[likely]] {
      uint64_t hi, lo;
      soft_extended::MultiplyWide(a.significand_, b.significand_, hi, lo);
      int32_t exp =
          (a.sign_exponent_ & 0x7fff) + (b.sign_exponent_ & 0x7fff) - soft_extended::kBias + 1;
      if ((hi >> 63) == 0) {
        hi = (hi << 1) | (lo >> 63);
        lo <<= 1;
        --exp;
      }
      const uint16_t sign = (a.sign_exponent_ ^ b.sign_exponent_) & 0x8000;
      if (exp >= 1 && exp < soft_extended::kMaxExponent && RoundQuick(hi, lo, exp)) {
        return FromBits(hi, static_cast<uint16_t>(sign | exp));
      }
    }
    return Multiply(a, b);
  }
  QUORREL_SOFT_QUICK friend tSoftExtended operator/(tSoftExtended a, tSoftExtended b) {
    if (BothNormal(a, b)) [[likely]] {
      // The numerator u1:u0 is a's significand shifted left by 63 or 64,
      // below b's significand times 2^64.
      uint64_t u1, u0;
      int32_t exp =
          (a.sign_exponent_ & 0x7fff) - (b.sign_exponent_ & 0x7fff) + soft_extended::kBias;
      if (a.significand_ >= b.significand_) {
        u1 = a.significand_ >> 1;
        u0 = a.significand_ << 63;
      } else {
        u1 = a.significand_;
        u0 = 0;
        --exp;
      }
      if (exp >= 1 && exp < soft_extended::kMaxExponent) {
        uint64_t r;
        uint64_t q = soft_extended::DivideWide(u1, u0, b.significand_, r);
        uint64_t lo = 0;
        if (r != 0) {
          const uint64_t rest = b.significand_ - r;  // r > rest: more than half
          lo = r > rest    ? soft_extended::kIntegerBit | 1
               : r == rest ? soft_extended::kIntegerBit
                           : 1;
        }
        const uint16_t sign = (a.sign_exponent_ ^ b.sign_exponent_) & 0x8000;
        if (RoundQuick(q, lo, exp)) return FromBits(q, static_cast<uint16_t>(sign | exp));
      }
    }
    return Divide(a, b);
  }
  tSoftExtended& operator+=(tSoftExtended b) { return *this = *this + b; }
  tSoftExtended& operator-=(tSoftExtended b) { return *this = *this - b; }
  tSoftExtended& operator*=(tSoftExtended b) { return *this = *this * b; }
  tSoftExtended& operator/=(tSoftExtended b) { return *this = *this / b; }
  // The sign changed (no flag, a NaN too), as the processor's FCHS.
  constexpr tSoftExtended operator-() const {
    return FromBits(significand_, sign_exponent_ ^ 0x8000);
  }
  constexpr tSoftExtended operator+() const { return *this; }

  // Ordered comparisons: false with a NaN (and an invalid operation); == and
  // != are quiet except for a signalling NaN.  -0 == +0.
  QUORREL_SOFT_QUICK friend bool operator==(tSoftExtended a, tSoftExtended b) {
    return QuickCompare(a, b, false) == kEqual;
  }
  QUORREL_SOFT_QUICK friend bool operator!=(tSoftExtended a, tSoftExtended b) {
    return QuickCompare(a, b, false) != kEqual;
  }
  QUORREL_SOFT_QUICK friend bool operator<(tSoftExtended a, tSoftExtended b) {
    return QuickCompare(a, b, true) == kLess;
  }
  QUORREL_SOFT_QUICK friend bool operator>(tSoftExtended a, tSoftExtended b) {
    return QuickCompare(a, b, true) == kGreater;
  }
  QUORREL_SOFT_QUICK friend bool operator<=(tSoftExtended a, tSoftExtended b) {
    const int c = QuickCompare(a, b, true);
    return c == kLess || c == kEqual;
  }
  QUORREL_SOFT_QUICK friend bool operator>=(tSoftExtended a, tSoftExtended b) {
    const int c = QuickCompare(a, b, true);
    return c == kGreater || c == kEqual;
  }

  // Rounded to double (to nearest, double's subnormals, the flags of the
  // processor's store to a double).
  explicit operator double() const;
  // The value as the host's long double (exact where that holds 64 bits).
  explicit operator long double() const;
  // Truncated toward zero, as a cast; out of range or NaN: the integer
  // indefinite (the type's minimum) with an invalid operation.
  explicit operator long long() const { return ToInt64(false); }
  explicit operator long() const { return ToInt64(false); }
  explicit operator int() const { return ToInt32(); }
  // For the sizes of non-negative counts below 2^63, as a cast.
  explicit operator unsigned long() const { return static_cast<unsigned long>(ToInt64(false)); }
  explicit operator unsigned long long() const {
    return static_cast<unsigned long long>(ToInt64(false));
  }

  // The integer nearest (halves to even), as llrint in the default rounding.
  int64_t RoundToInt64() const { return ToInt64(true); }
  // The value rounded to a whole number: toward zero (trunc), down (floor),
  // up (ceil); no flag but for a signalling NaN.
  tSoftExtended Trunc() const { return RoundToWhole(0); }
  tSoftExtended Floor() const { return RoundToWhole(-1); }
  tSoftExtended Ceil() const { return RoundToWhole(1); }
  // The square root, correctly rounded (invalid for a negative non-zero).
  tSoftExtended Sqrt() const;

  constexpr bool SignBit() const { return (sign_exponent_ & 0x8000) != 0; }
  constexpr tSoftExtended Abs() const { return FromBits(significand_, sign_exponent_ & 0x7fff); }
  constexpr bool IsNaN() const {
    const uint16_t e = sign_exponent_ & 0x7fff;
    // A pseudo-NaN, pseudo-infinity or unnormal is classed as the
    // processor's FXAM classes it: as a NaN ("unsupported").
    return (e == soft_extended::kMaxExponent && significand_ != soft_extended::kIntegerBit) ||
           (e != 0 && (significand_ & soft_extended::kIntegerBit) == 0);
  }
  constexpr bool IsInf() const {
    return (sign_exponent_ & 0x7fff) == soft_extended::kMaxExponent &&
           significand_ == soft_extended::kIntegerBit;
  }
  constexpr bool IsFinite() const { return !IsNaN() && !IsInf(); }

 private:
  enum { kLess, kEqual, kGreater, kUnordered };

  static constexpr tSoftExtended FromUint64(uint64_t v, bool negative) {
    if (v == 0) return FromBits(0, negative ? 0x8000 : 0);
    const int shift = std::countl_zero(v);
    return FromBits(v << shift, static_cast<uint16_t>((negative ? 0x8000 : 0) |
                                                      (soft_extended::kBias + 63 - shift)));
  }
  static constexpr tSoftExtended FromInt64(int64_t v) {
    const uint64_t magnitude =
        v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    return FromUint64(magnitude, v < 0);
  }

  static constexpr tSoftExtended FromLongDouble(long double v) {
#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384
    struct tLayout {
      uint64_t significand;
      uint16_t sign_exponent;
      unsigned char padding[sizeof(long double) - 10];
    };
    const tLayout layout = std::bit_cast<tLayout>(v);
    return FromBits(layout.significand, layout.sign_exponent);
#elif LDBL_MANT_DIG == 113
    // binary128: the same sign and biased exponent, 112 fraction bits.
    struct tLayout {
      uint64_t low;
      uint64_t high;
    };
    const tLayout layout = std::bit_cast<tLayout>(v);
    const uint16_t sign_exponent = static_cast<uint16_t>(layout.high >> 48);
    const uint16_t e = sign_exponent & 0x7fff;
    const uint64_t fraction_high = layout.high & ((uint64_t{1} << 48) - 1);
    // The 112-bit fraction's top 63 bits, and the 49 below them.
    uint64_t sig = (fraction_high << 15) | (layout.low >> 49);
    const uint64_t rest = layout.low & ((uint64_t{1} << 49) - 1);
    if (e == soft_extended::kMaxExponent) {
      if (fraction_high == 0 && layout.low == 0)
        return FromBits(soft_extended::kIntegerBit, sign_exponent);
      return FromBits(soft_extended::kIntegerBit | soft_extended::kQuietBit | sig, sign_exponent);
    }
    if (e != 0) sig |= soft_extended::kIntegerBit;
    uint16_t exponent_field = e;
    constexpr uint64_t half = uint64_t{1} << 48;
    if (rest > half || (rest == half && (sig & 1))) {
      ++sig;
      if (sig == 0) {  // carried out of the significand
        sig = soft_extended::kIntegerBit;
        ++exponent_field;
      } else if (e == 0 && sig == soft_extended::kIntegerBit) {
        exponent_field = 1;  // a subnormal rounded up to the smallest normal
      }
    }
    if (exponent_field == soft_extended::kMaxExponent) sig = soft_extended::kIntegerBit;
    return FromBits(sig, static_cast<uint16_t>((sign_exponent & 0x8000) | exponent_field));
#else
    // A long double that is a double: exact.
    return tSoftExtended(static_cast<double>(v));
#endif
  }

  static tSoftExtended Add(tSoftExtended a, tSoftExtended b, bool subtract);
  static tSoftExtended Multiply(tSoftExtended a, tSoftExtended b);
  static tSoftExtended Divide(tSoftExtended a, tSoftExtended b);

  // Exponent fields 1 ... 0x7ffe with the integer bit set, both.
  QUORREL_SOFT_QUICK static constexpr bool BothNormal(tSoftExtended a, tSoftExtended b) {
    return static_cast<uint16_t>((a.sign_exponent_ & 0x7fff) - 1) < 0x7ffe &&
           static_cast<uint16_t>((b.sign_exponent_ & 0x7fff) - 1) < 0x7ffe &&
           ((a.significand_ & b.significand_) >> 63) != 0;
  }

  // Rounds hi (lo: the bits below it) to nearest even for a normal result;
  // false, with nothing raised, when the rounding carries out of the
  // largest exponent (the out-of-line path then overflows).
  QUORREL_SOFT_QUICK static bool RoundQuick(uint64_t& hi, uint64_t lo, int32_t& exp) {
    if (lo == 0) return true;
    if (lo > soft_extended::kIntegerBit || (lo == soft_extended::kIntegerBit && (hi & 1))) {
      if (++hi == 0) {
        if (exp + 1 >= soft_extended::kMaxExponent) {
          --hi;
          return false;
        }
        hi = soft_extended::kIntegerBit;
        ++exp;
      }
    }
    soft_extended::flags |= soft_extended::kInexact;
    return true;
  }

  // a + b, or a - b with the sign bit 0x8000 in `negate`.
  QUORREL_SOFT_QUICK static tSoftExtended QuickAdd(tSoftExtended a, tSoftExtended b,
                                                   uint16_t negate) {
    if (BothNormal(a, b)) [[likely]] {
      uint16_t sa = a.sign_exponent_, sb = static_cast<uint16_t>(b.sign_exponent_ ^ negate);
      uint64_t xa = a.significand_, xb = b.significand_;
      int32_t ea = sa & 0x7fff, eb = sb & 0x7fff;
      if (ea < eb || (ea == eb && xa < xb)) {
        std::swap(sa, sb);
        std::swap(xa, xb);
        std::swap(ea, eb);
      }
      const int32_t d = ea - eb;
      if (d < 64) {
        const uint64_t b_hi = d == 0 ? xb : xb >> d;
        const uint64_t b_lo = d == 0 ? 0 : xb << (64 - d);
        uint64_t hi, lo;
        int32_t exp = ea;
        if (((sa ^ sb) & 0x8000) == 0) {
          hi = xa + b_hi;
          lo = b_lo;
          if (hi < xa) {  // carry
            lo = (lo >> 1) | (hi << 63) | (lo & 1);
            hi = (hi >> 1) | soft_extended::kIntegerBit;
            ++exp;
          }
        } else {
          lo = 0 - b_lo;
          hi = xa - b_hi - (b_lo != 0 ? 1 : 0);
          if (hi == 0) return Add(a, b, negate != 0);  // deep cancellation
          const int shift = std::countl_zero(hi);
          if (shift > 0) {
            hi = (hi << shift) | (lo >> (64 - shift));
            lo <<= shift;
            exp -= shift;
          }
        }
        if (exp >= 1 && exp < soft_extended::kMaxExponent && RoundQuick(hi, lo, exp))
          return FromBits(hi, static_cast<uint16_t>((sa & 0x8000) | exp));
      }
    } else if (IsZero(a) && IsNormal(b)) {
      // A sum with a zero, as every accumulation from 0 begins: the other
      // operand, exact and without a flag.
      return FromBits(b.significand_, static_cast<uint16_t>(b.sign_exponent_ ^ negate));
    } else if (IsZero(b) && IsNormal(a)) {
      return a;
    }
    return Add(a, b, negate != 0);
  }
  QUORREL_SOFT_QUICK static constexpr bool IsZero(tSoftExtended x) {
    return (x.sign_exponent_ & 0x7fff) == 0 && x.significand_ == 0;
  }
  QUORREL_SOFT_QUICK static constexpr bool IsNormal(tSoftExtended x) {
    return static_cast<uint16_t>((x.sign_exponent_ & 0x7fff) - 1) < 0x7ffe &&
           (x.significand_ >> 63) != 0;
  }
  // Two normal operands are ordered by sign, then exponent and significand
  // together, and raise nothing; every other pair goes out of line.
  QUORREL_SOFT_QUICK static int QuickCompare(tSoftExtended a, tSoftExtended b, bool signalling) {
    if (BothNormal(a, b)) [[likely]] {
      const bool a_negative = (a.sign_exponent_ & 0x8000) != 0;
      if (a_negative != ((b.sign_exponent_ & 0x8000) != 0)) return a_negative ? kLess : kGreater;
      const uint16_t ea = a.sign_exponent_ & 0x7fff, eb = b.sign_exponent_ & 0x7fff;
      if (ea == eb && a.significand_ == b.significand_) return kEqual;
      const bool a_smaller = ea != eb ? ea < eb : a.significand_ < b.significand_;
      return a_smaller != a_negative ? kLess : kGreater;
    }
    return Compare(a, b, signalling);
  }
  static int Compare(tSoftExtended a, tSoftExtended b, bool signalling);
  int64_t ToInt64(bool nearest) const;
  int ToInt32() const;
  tSoftExtended RoundToWhole(int direction) const;

  uint64_t significand_ = 0;
  uint16_t sign_exponent_ = 0;
};

// The functions of <cmath> that the core calls, found by argument-dependent
// lookup.
inline tSoftExtended fabs(tSoftExtended x) {
  return x.Abs();
}
inline tSoftExtended sqrt(tSoftExtended x) {
  return x.Sqrt();
}
inline tSoftExtended trunc(tSoftExtended x) {
  return x.Trunc();
}
inline tSoftExtended floor(tSoftExtended x) {
  return x.Floor();
}
inline tSoftExtended ceil(tSoftExtended x) {
  return x.Ceil();
}
inline long long llrint(tSoftExtended x) {
  return x.RoundToInt64();
}
// x = m 2^k with |m| in [1/2, 1) (exact; zero, infinity and NaN as frexp
// gives them).
tSoftExtended frexp(tSoftExtended x, int* k);
// The neighbour of x toward y (y when equal; a NaN operand's NaN), as
// nextafter gives it, without its flags.
tSoftExtended nextafter(tSoftExtended x, tSoftExtended y);
// x 2^k rounded once, as scalbn gives it.
tSoftExtended scalbn(tSoftExtended x, int k);
inline bool isnan(tSoftExtended x) {
  return x.IsNaN();
}
inline bool isinf(tSoftExtended x) {
  return x.IsInf();
}
inline bool isfinite(tSoftExtended x) {
  return x.IsFinite();
}
inline bool signbit(tSoftExtended x) {
  return x.SignBit();
}

// `value` as an ostream writes a long double (the stream's precision,
// general notation), for messages.
std::ostream& operator<<(std::ostream& out, tSoftExtended value);

namespace soft_extended {

// The text of `value` as std::to_chars(first, last, value, format, precision)
// writes a long double of the x87 format with precision 0 or more: fixed
// ("%.*Lf"), scientific ("%.*Le") or general ("%.*Lg"), rounded once from
// the exact binary value, halves to even; "inf", "-inf", "nan", "-nan".
enum class tFormat { kFixed, kScientific, kGeneral };
std::string ToText(tSoftExtended value, tFormat format, int precision);

// Decimal text (leading white space, an optional sign, digits with an
// optional point, an optional exponent; or "inf", "infinity", "nan", any
// case) to the nearest value, as strtold reads it in the "C" locale: `end`
// receives the characters read (0 when there is no number), `out_of_range`
// is set for a magnitude beyond the format (the result is then infinite).
// Hexadecimal numbers are not read ("0x10" is 0, read up to the x).
tSoftExtended FromText(const std::string& text, std::size_t& end, bool& out_of_range);

}  // namespace soft_extended

// The format's limits, as std::numeric_limits<long double> gives them for
// the x87 format.
template <>
class std::numeric_limits<tSoftExtended> {
 public:
  static constexpr bool is_specialized = true;
  static constexpr bool is_signed = true;
  static constexpr bool is_integer = false;
  static constexpr bool is_exact = false;
  static constexpr bool has_infinity = true;
  static constexpr bool has_quiet_NaN = true;
  static constexpr bool has_signaling_NaN = true;
  static constexpr bool is_iec559 = true;
  static constexpr bool is_bounded = true;
  static constexpr bool is_modulo = false;
  static constexpr int digits = 64;
  static constexpr int digits10 = 18;
  static constexpr int max_digits10 = 21;
  static constexpr int radix = 2;
  static constexpr int min_exponent = -16381;
  static constexpr int min_exponent10 = -4931;
  static constexpr int max_exponent = 16384;
  static constexpr int max_exponent10 = 4932;
  static constexpr std::float_round_style round_style = std::round_to_nearest;
  static constexpr tSoftExtended min() { return tSoftExtended::FromBits(uint64_t{1} << 63, 1); }
  static constexpr tSoftExtended max() { return tSoftExtended::FromBits(~uint64_t{0}, 0x7ffe); }
  static constexpr tSoftExtended lowest() { return tSoftExtended::FromBits(~uint64_t{0}, 0xfffe); }
  static constexpr tSoftExtended epsilon() {
    return tSoftExtended::FromBits(uint64_t{1} << 63, 0x3fff - 63);
  }
  static constexpr tSoftExtended round_error() {
    return tSoftExtended::FromBits(uint64_t{1} << 63, 0x3ffe);
  }
  static constexpr tSoftExtended infinity() {
    return tSoftExtended::FromBits(uint64_t{1} << 63, 0x7fff);
  }
  static constexpr tSoftExtended quiet_NaN() {
    return tSoftExtended::FromBits(uint64_t{3} << 62, 0x7fff);
  }
  static constexpr tSoftExtended signaling_NaN() {
    return tSoftExtended::FromBits((uint64_t{1} << 63) | (uint64_t{1} << 61), 0x7fff);
  }
  static constexpr tSoftExtended denorm_min() { return tSoftExtended::FromBits(1, 0); }
};
