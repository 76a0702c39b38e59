// The software extended format's conversions: from and to double, the
// host's long double and the integers, rounding to whole numbers, and
// frexp, nextafter and scalbn.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "numeric/soft_extended.h"
#include "numeric/soft_extended_parts.h"

using namespace soft_extended;

tSoftExtended::tSoftExtended(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const bool sign = (bits >> 63) != 0;
  const int32_t e = static_cast<int32_t>((bits >> 52) & 0x7ff);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (e == 0x7ff) {
    if (fraction == 0) {
      *this = Pack(sign, kMaxExponent, kIntegerBit);
    } else {
      if ((fraction & (uint64_t{1} << 51)) == 0) flags |= kInvalid;
      *this = Pack(sign, kMaxExponent, kIntegerBit | kQuietBit | (fraction << 11));
    }
  } else if (e == 0) {
    if (fraction == 0) {
      *this = Pack(sign, 0, 0);
    } else {
      const int shift = std::countl_zero(fraction);
      *this = Pack(sign, static_cast<uint16_t>(kBias - 1023 + 1 - (shift - 11)), fraction << shift);
    }
  } else {
    *this = Pack(sign, static_cast<uint16_t>(e - 1023 + kBias), kIntegerBit | (fraction << 11));
  }
}
tSoftExtended::operator double() const {
  const tParts p = Unpack(*this);
  const uint64_t sign = p.sign ? uint64_t{1} << 63 : 0;
  uint64_t bits;
  switch (p.kind) {
    case kZero:
      bits = sign;
      break;
    case kInf:
      bits = sign | (uint64_t{0x7ff} << 52);
      break;
    case kUnsupported:
      flags |= kInvalid;
      bits = 0xFFF8000000000000;
      break;
    case kQuietNaN:
    case kSignallingNaN:
      if (p.kind == kSignallingNaN) flags |= kInvalid;
      bits = sign | (uint64_t{0x7ff} << 52) | (uint64_t{1} << 51) | ((p.sig << 1) >> 12);
      break;
    case kFinite:
    default: {
      int32_t e = p.exp - kBias + 1023;  // double's biased exponent of the leading bit
      if (e >= 0x7ff) {                  // beyond double's range before rounding
        flags |= kOverflow | kInexact;
        bits = sign | (uint64_t{0x7ff} << 52);
        break;
      }
      const bool tiny = e < 1 && !(e == 0 && p.sig >= 0xFFFFFFFFFFFFFC00);
      uint64_t hi = p.sig, lo = 0;
      const int32_t shift = 11 + (e < 1 ? 1 - e : 0);
      ShiftRightJamming(hi, lo, shift);
      if (lo != 0) {
        flags |= kInexact;
        if (tiny) flags |= kUnderflow;
        if (lo > kHalf || (lo == kHalf && (hi & 1))) ++hi;
      }
      // A carry into the exponent field is the right result in both cases.
      bits = e < 1 ? hi : (static_cast<uint64_t>(e - 1) << 52) + hi;
      if ((bits >> 52) >= 0x7ff) {
        flags |= kOverflow | kInexact;
        bits = uint64_t{0x7ff} << 52;
      }
      bits |= sign;
    }
  }
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

tSoftExtended::operator long double() const {
#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384
  struct tLayout {
    uint64_t significand;
    uint16_t sign_exponent;
    unsigned char padding[sizeof(long double) - 10];
  };
  return std::bit_cast<long double>(tLayout{significand_, sign_exponent_, {}});
#else
  const tParts p = Unpack(*this);
  const long double sign = p.sign ? -1.0L : 1.0L;
  switch (p.kind) {
    case kZero:
      return sign * 0.0L;
    case kInf:
      return sign * std::numeric_limits<long double>::infinity();
    case kFinite:
      return sign * std::ldexp(static_cast<long double>(p.sig), p.exp - kBias - 63);
    default:
      return std::numeric_limits<long double>::quiet_NaN();
  }
#endif
}

int64_t tSoftExtended::ToInt64(bool nearest) const {
  constexpr int64_t kIndefinite = INT64_MIN;
  const tParts p = Unpack(*this);
  if (p.kind == kZero) return 0;
  if (p.kind != kFinite) {
    flags |= kInvalid;
    return kIndefinite;
  }
  const int32_t e = p.exp - kBias;  // the value is sig 2^(e - 63)
  if (e >= 64) {
    flags |= kInvalid;
    return kIndefinite;
  }
  uint64_t whole, lo = 0;
  if (e >= 63) {
    whole = p.sig;
  } else {
    uint64_t hi = p.sig;
    ShiftRightJamming(hi, lo, 63 - e);
    whole = hi;
  }
  if (lo != 0) {
    if (nearest && (lo > kHalf || (lo == kHalf && (whole & 1)))) ++whole;
  }
  if (whole > (p.sign ? kIntegerBit : kIntegerBit - 1)) {
    flags |= kInvalid;
    return kIndefinite;
  }
  if (lo != 0) flags |= kInexact;
  return p.sign ? static_cast<int64_t>(uint64_t{0} - whole) : static_cast<int64_t>(whole);
}

int tSoftExtended::ToInt32() const {
  const unsigned saved = flags;
  const int64_t v = ToInt64(false);
  if (v < INT32_MIN || v > INT32_MAX) {
    flags = saved | kInvalid;
    return INT32_MIN;
  }
  return static_cast<int>(v);
}

tSoftExtended tSoftExtended::RoundToWhole(int direction) const {
  const tParts p = Unpack(*this);
  if (p.kind != kFinite) {
    if (IsNaNKind(p.kind)) return PropagateNaN(*this, p);
    return *this;
  }
  const int32_t e = p.exp - kBias;
  if (e >= 63) return *this;                                               // whole already
  if (e < 0) {                                                             // |x| < 1
    if (direction < 0 && p.sign) return Pack(true, kBias, kIntegerBit);    // -1
    if (direction > 0 && !p.sign) return Pack(false, kBias, kIntegerBit);  // 1
    return Pack(p.sign, 0, 0);
  }
  const uint64_t fraction_mask = (uint64_t{1} << (63 - e)) - 1;
  uint64_t whole = p.sig & ~fraction_mask;
  int32_t exp = p.exp;
  const bool away =
      (p.sig & fraction_mask) != 0 && ((direction < 0 && p.sign) || (direction > 0 && !p.sign));
  if (away) {
    whole += fraction_mask + 1;
    if (whole == 0) {
      whole = kIntegerBit;
      ++exp;
    }
  }
  return Pack(p.sign, static_cast<uint16_t>(exp), whole);
}

tSoftExtended frexp(tSoftExtended x, int* k) {
  const tParts p = Unpack(x);
  *k = 0;
  if (p.kind == kZero || p.kind == kInf) return x;
  if (p.kind != kFinite) return PropagateNaN(x, p);
  *k = p.exp - (kBias - 1);
  return Pack(p.sign, kBias - 1, p.sig);
}

tSoftExtended nextafter(tSoftExtended x, tSoftExtended y) {
  if (x.IsNaN() || y.IsNaN()) return x + y;
  if (x == y) return y;
  if (x == 0) return Pack(y.SignBit(), 0, 1);  // the smallest subnormal toward y
  // Away from zero when y lies beyond x on x's side, toward it otherwise.
  const bool away = (x < y) != x.SignBit();
  const tParts p = Unpack(x);
  int32_t e = x.SignExponent() & 0x7fff;
  uint64_t m = x.Significand();
  if (away) {
    if (m == ~uint64_t{0}) {
      m = kIntegerBit;
      ++e;
    } else {
      ++m;
      if (e == 0 && m == kIntegerBit) e = 1;
    }
  } else {
    if (m == kIntegerBit && e > 1) {
      m = ~uint64_t{0};
      --e;
    } else {
      --m;
      if (e == 1 && m < kIntegerBit) e = 0;
    }
  }
  return Pack(p.sign, static_cast<uint16_t>(e), m);
}

tSoftExtended scalbn(tSoftExtended x, int k) {
  const tParts p = Unpack(x);
  if (p.kind == kZero || p.kind == kInf) return x;
  if (p.kind != kFinite) return PropagateNaN(x, p);
  // Far beyond the range either way the result is the same.
  const int32_t step = std::clamp(k, -40000, 40000);
  return RoundPack(p.sign, p.exp + step, p.sig, 0);
}
