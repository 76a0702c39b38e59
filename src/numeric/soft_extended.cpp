#include "numeric/soft_extended.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

namespace soft_extended {
namespace {

constexpr uint16_t kSignBit = 0x8000;
constexpr uint64_t kHalf = uint64_t{1} << 63;  // one half of the last place, as `lo`
constexpr uint64_t kDefaultNaNSignificand = 0xC000000000000000;

// An operand taken apart.  A finite non-zero value is sig * 2^(exp - kBias
// - 63) with the leading bit of sig set; exp is below 1 for a subnormal.
enum tKind { kZero, kFinite, kInf, kQuietNaN, kSignallingNaN, kUnsupported };
struct tParts {
  tKind kind;
  bool sign;
  int32_t exp;
  uint64_t sig;
};

inline tParts Unpack(tSoftExtended x) {
  const uint16_t se = x.SignExponent();
  const uint64_t m = x.Significand();
  const bool sign = (se & kSignBit) != 0;
  const int32_t e = se & 0x7fff;
  if (e == kMaxExponent) {
    if ((m & kIntegerBit) == 0) return {kUnsupported, sign, e, m};
    if (m == kIntegerBit) return {kInf, sign, e, m};
    return {(m & kQuietBit) ? kQuietNaN : kSignallingNaN, sign, e, m};
  }
  if (e == 0) {
    if (m == 0) return {kZero, sign, 0, 0};
    const int shift = std::countl_zero(m);  // 0 for a pseudo-denormal
    return {kFinite, sign, 1 - shift, m << shift};
  }
  if ((m & kIntegerBit) == 0) return {kUnsupported, sign, e, m};
  return {kFinite, sign, e, m};
}

inline bool IsNaNKind(tKind k) {
  return k == kQuietNaN || k == kSignallingNaN || k == kUnsupported;
}

inline tSoftExtended Pack(bool sign, uint16_t exp, uint64_t sig) {
  return tSoftExtended::FromBits(sig, static_cast<uint16_t>((sign ? kSignBit : 0) | exp));
}

tSoftExtended DefaultNaN() {
  flags |= kInvalid;
  return tSoftExtended::FromBits(kDefaultNaNSignificand, 0xffff);
}

// The NaN result of an operation with a NaN (or unsupported) operand.
tSoftExtended PropagateNaN(tSoftExtended a, const tParts& pa, tSoftExtended b, const tParts& pb) {
  if (pa.kind == kUnsupported || pb.kind == kUnsupported) return DefaultNaN();
  if (pa.kind == kSignallingNaN || pb.kind == kSignallingNaN) flags |= kInvalid;
  const bool a_nan = IsNaNKind(pa.kind), b_nan = IsNaNKind(pb.kind);
  tSoftExtended r = a;
  if (a_nan && b_nan) {
    if (pa.kind != pb.kind) {
      r = pa.kind == kQuietNaN ? a : b;
    } else if (a.Significand() != b.Significand()) {
      r = a.Significand() > b.Significand() ? a : b;
    } else {
      r = a.SignBit() ? b : a;
    }
  } else if (b_nan) {
    r = b;
  }
  return tSoftExtended::FromBits(r.Significand() | kQuietBit, r.SignExponent());
}

tSoftExtended PropagateNaN(tSoftExtended a, const tParts& pa) {
  if (pa.kind == kUnsupported) return DefaultNaN();
  if (pa.kind == kSignallingNaN) flags |= kInvalid;
  return tSoftExtended::FromBits(a.Significand() | kQuietBit, a.SignExponent());
}

// The value (hi + lo / 2^64) 2^(exp - kBias - 63), hi with its leading bit
// set, rounded to the format; only lo's leading bit and whether the rest of
// it is zero matter.
tSoftExtended RoundPack(bool sign, int32_t exp, uint64_t hi, uint64_t lo) {
  if (exp >= 1) {
    if (lo != 0) {
      flags |= kInexact;
      if (lo > kHalf || (lo == kHalf && (hi & 1))) {
        if (++hi == 0) {
          hi = kIntegerBit;
          ++exp;
        }
      }
    }
    if (exp >= kMaxExponent) {
      flags |= kOverflow | kInexact;
      return Pack(sign, kMaxExponent, kIntegerBit);
    }
    return Pack(sign, static_cast<uint16_t>(exp), hi);
  }
  // Below the normal range.  Tiny unless rounding to 64 bits with an
  // unbounded exponent would reach 2^-16382.
  const bool tiny = !(exp == 0 && hi == ~uint64_t{0} && lo >= kHalf);
  const int32_t shift = 1 - exp;
  uint64_t new_hi, new_lo;
  if (shift < 64) {
    new_lo = (hi << (64 - shift)) | (lo != 0 ? 1 : 0);
    new_hi = hi >> shift;
  } else if (shift == 64) {
    new_lo = hi | (lo != 0 ? 1 : 0);
    new_hi = 0;
  } else {
    new_lo = 1;
    new_hi = 0;
  }
  if (new_lo != 0) {
    flags |= kInexact;
    if (tiny) flags |= kUnderflow;
    if (new_lo > kHalf || (new_lo == kHalf && (new_hi & 1))) ++new_hi;
  }
  return Pack(sign, (new_hi & kIntegerBit) ? 1 : 0, new_hi);
}

// Shifts hi:lo right by `shift` (at least 1), the bits shifted out kept as
// a one in the last place when any is set.
inline void ShiftRightJamming(uint64_t& hi, uint64_t& lo, int32_t shift) {
  if (shift < 64) {
    const uint64_t lost = lo << (64 - shift);
    lo = (lo >> shift) | (hi << (64 - shift)) | (lost != 0 ? 1 : 0);
    hi >>= shift;
  } else if (shift == 64) {
    lo = hi | (lo != 0 ? 1 : 0);
    hi = 0;
  } else if (shift < 128) {
    const uint64_t lost = (hi << (128 - shift)) | lo;
    lo = (hi >> (shift - 64)) | (lost != 0 ? 1 : 0);
    hi = 0;
  } else {
    lo = (hi | lo) != 0 ? 1 : 0;
    hi = 0;
  }
}

}  // namespace
}  // namespace soft_extended

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

tSoftExtended tSoftExtended::Add(tSoftExtended a, tSoftExtended b, bool subtract) {
  tParts pa = Unpack(a), pb = Unpack(b);
  if (pa.kind != kFinite || pb.kind != kFinite) {
    if (IsNaNKind(pa.kind) || IsNaNKind(pb.kind)) return PropagateNaN(a, pa, b, pb);
    const bool b_sign = pb.sign != subtract;
    if (pa.kind == kInf) {
      if (pb.kind == kInf && pa.sign != b_sign) return DefaultNaN();
      return Pack(pa.sign, kMaxExponent, kIntegerBit);
    }
    if (pb.kind == kInf) return Pack(b_sign, kMaxExponent, kIntegerBit);
    if (pa.kind == kZero) {
      if (pb.kind == kZero) return Pack(pa.sign && b_sign, 0, 0);
      return RoundPack(b_sign, pb.exp, pb.sig, 0);
    }
    return RoundPack(pa.sign, pa.exp, pa.sig, 0);  // b is zero
  }
  pb.sign = pb.sign != subtract;
  if (pa.exp < pb.exp || (pa.exp == pb.exp && pa.sig < pb.sig)) std::swap(pa, pb);
  // Now |a| >= |b|.
  uint64_t b_hi = pb.sig, b_lo = 0;
  const int32_t d = pa.exp - pb.exp;
  if (d > 0) ShiftRightJamming(b_hi, b_lo, d);
  if (pa.sign == pb.sign) {
    uint64_t hi = pa.sig + b_hi;
    uint64_t lo = b_lo;
    int32_t exp = pa.exp;
    if (hi < pa.sig) {  // carry
      lo = (lo >> 1) | (hi << 63) | (lo & 1);
      hi = (hi >> 1) | kIntegerBit;
      ++exp;
    }
    return RoundPack(pa.sign, exp, hi, lo);
  }
  // Subtraction of magnitudes: a.sig:0 - b_hi:b_lo >= 0.
  uint64_t lo = 0 - b_lo;
  uint64_t hi = pa.sig - b_hi - (b_lo != 0 ? 1 : 0);
  if (hi == 0 && lo == 0) return Pack(false, 0, 0);  // exact cancellation: +0
  int32_t exp = pa.exp;
  if (hi == 0) {
    hi = lo;
    lo = 0;
    exp -= 64;
  }
  const int shift = std::countl_zero(hi);
  if (shift > 0) {
    hi = (hi << shift) | (lo >> (64 - shift));
    lo <<= shift;
    exp -= shift;
  }
  return RoundPack(pa.sign, exp, hi, lo);
}

tSoftExtended tSoftExtended::Multiply(tSoftExtended a, tSoftExtended b) {
  const tParts pa = Unpack(a), pb = Unpack(b);
  const bool sign = pa.sign != pb.sign;
  if (pa.kind != kFinite || pb.kind != kFinite) {
    if (IsNaNKind(pa.kind) || IsNaNKind(pb.kind)) return PropagateNaN(a, pa, b, pb);
    if (pa.kind == kInf || pb.kind == kInf) {
      if (pa.kind == kZero || pb.kind == kZero) return DefaultNaN();
      return Pack(sign, kMaxExponent, kIntegerBit);
    }
    return Pack(sign, 0, 0);
  }
  tUint128 p = static_cast<tUint128>(pa.sig) * pb.sig;
  int32_t exp = pa.exp + pb.exp - kBias + 1;
  if ((p >> 127) == 0) {
    p <<= 1;
    --exp;
  }
  return RoundPack(sign, exp, static_cast<uint64_t>(p >> 64), static_cast<uint64_t>(p));
}

tSoftExtended tSoftExtended::Divide(tSoftExtended a, tSoftExtended b) {
  const tParts pa = Unpack(a), pb = Unpack(b);
  const bool sign = pa.sign != pb.sign;
  if (pa.kind != kFinite || pb.kind != kFinite) {
    if (IsNaNKind(pa.kind) || IsNaNKind(pb.kind)) return PropagateNaN(a, pa, b, pb);
    if (pa.kind == kInf) {
      if (pb.kind == kInf) return DefaultNaN();
      return Pack(sign, kMaxExponent, kIntegerBit);
    }
    if (pb.kind == kInf) return Pack(sign, 0, 0);
    if (pb.kind == kZero) {
      if (pa.kind == kZero) return DefaultNaN();
      flags |= kDivideByZero;
      return Pack(sign, kMaxExponent, kIntegerBit);
    }
    return Pack(sign, 0, 0);  // 0 / finite
  }
  tUint128 numerator;
  int32_t exp;
  if (pa.sig >= pb.sig) {
    numerator = static_cast<tUint128>(pa.sig) << 63;
    exp = pa.exp - pb.exp + kBias;
  } else {
    numerator = static_cast<tUint128>(pa.sig) << 64;
    exp = pa.exp - pb.exp + kBias - 1;
  }
  const uint64_t q = static_cast<uint64_t>(numerator / pb.sig);
  const uint64_t r = static_cast<uint64_t>(numerator - static_cast<tUint128>(q) * pb.sig);
  uint64_t lo = 0;
  if (r != 0) {
    const uint64_t rest = pb.sig - r;  // r > rest: more than half
    lo = r > rest ? kHalf | 1 : r == rest ? kHalf : 1;
  }
  return RoundPack(sign, exp, q, lo);
}

tSoftExtended tSoftExtended::Sqrt() const {
  const tParts p = Unpack(*this);
  if (p.kind != kFinite) {
    if (IsNaNKind(p.kind)) return PropagateNaN(*this, p);
    if (p.kind == kZero) return *this;
    if (p.sign) return DefaultNaN();
    return *this;  // +inf
  }
  if (p.sign) return DefaultNaN();
  // The value is sig 2^(E - 63), E = exp - kBias; as n 2^f with f even and
  // n in [2^126, 2^128), its root is sqrt(n) 2^(f/2), sqrt(n) in [2^63, 2^64).
  const int32_t e = p.exp - kBias;
  tUint128 n;
  int32_t f;
  if (((e - 126) & 1) == 0) {
    n = static_cast<tUint128>(p.sig) << 63;
    f = e - 126;
  } else {
    n = static_cast<tUint128>(p.sig) << 64;
    f = e - 127;
  }
  // The root from double precision, one Newton step, then put right.
  // (The double's root may round to 2^64, which is no uint64_t; so may the
  // Newton step when the root is just below it.)
  const double estimate = std::sqrt(static_cast<double>(n));
  uint64_t r = estimate >= 0x1p64 ? ~uint64_t{0} : static_cast<uint64_t>(estimate);
  if (r < kIntegerBit) r = kIntegerBit;
  const tUint128 newton = (static_cast<tUint128>(r) + n / r) >> 1;
  r = newton > ~uint64_t{0} ? ~uint64_t{0} : static_cast<uint64_t>(newton);
  while (static_cast<tUint128>(r) * r > n)
    --r;
  while (r != ~uint64_t{0} && static_cast<tUint128>(r + 1) * (r + 1) <= n)
    ++r;
  const tUint128 rem = n - static_cast<tUint128>(r) * r;
  const uint64_t lo = rem == 0 ? 0 : rem > r ? kHalf | 1 : 1;
  return RoundPack(false, f / 2 + kBias + 63, r, lo);
}

int tSoftExtended::Compare(tSoftExtended a, tSoftExtended b, bool signalling) {
  const tParts pa = Unpack(a), pb = Unpack(b);
  if (IsNaNKind(pa.kind) || IsNaNKind(pb.kind)) {
    if (signalling || pa.kind == kSignallingNaN || pb.kind == kSignallingNaN ||
        pa.kind == kUnsupported || pb.kind == kUnsupported)
      flags |= kInvalid;
    return kUnordered;
  }
  if (pa.kind == kZero && pb.kind == kZero) return kEqual;
  // -1, 0, +1 for negative, zero, positive.
  const int sa = pa.kind == kZero ? 0 : pa.sign ? -1 : 1;
  const int sb = pb.kind == kZero ? 0 : pb.sign ? -1 : 1;
  if (sa != sb) return sa < sb ? kLess : kGreater;
  // Same sign, both non-zero: compare magnitudes (infinity above all).
  int magnitude = 0;
  if (pa.kind == kInf || pb.kind == kInf) {
    magnitude = (pa.kind == kInf) - (pb.kind == kInf);
  } else if (pa.exp != pb.exp) {
    magnitude = pa.exp < pb.exp ? -1 : 1;
  } else if (pa.sig != pb.sig) {
    magnitude = pa.sig < pb.sig ? -1 : 1;
  }
  if (magnitude == 0) return kEqual;
  return (magnitude < 0) != (sa < 0) ? kLess : kGreater;
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

// ---------------------------------------------------------------------------
// Text

namespace soft_extended {
namespace {

// A non-negative integer of any size, 64-bit limbs, least significant first.
class tBig {
 public:
  explicit tBig(uint64_t v = 0) {
    if (v != 0) limbs_.push_back(v);
  }
  bool IsZero() const { return limbs_.empty(); }
  int BitLength() const {
    return limbs_.empty() ? 0
                          : static_cast<int>(64 * limbs_.size()) - std::countl_zero(limbs_.back());
  }
  bool Bit(int i) const {
    const std::size_t limb = static_cast<std::size_t>(i) / 64;
    return limb < limbs_.size() && ((limbs_[limb] >> (i % 64)) & 1) != 0;
  }
  // True when any bit below position i is set.
  bool AnyBelow(int i) const {
    for (std::size_t k = 0; k < limbs_.size(); ++k) {
      const int base = static_cast<int>(64 * k);
      if (base >= i) break;
      const uint64_t mask = i - base >= 64 ? ~uint64_t{0} : (uint64_t{1} << (i - base)) - 1;
      if ((limbs_[k] & mask) != 0) return true;
    }
    return false;
  }
  void MultiplyAdd(uint64_t factor, uint64_t addend) {
    tUint128 carry = addend;
    for (uint64_t& limb : limbs_) {
      const tUint128 t = static_cast<tUint128>(limb) * factor + carry;
      limb = static_cast<uint64_t>(t);
      carry = t >> 64;
    }
    if (carry != 0) limbs_.push_back(static_cast<uint64_t>(carry));
  }
  void MultiplyByPowerOfTen(int k) {
    for (; k >= 19; k -= 19)
      MultiplyAdd(10000000000000000000u, 0);
    uint64_t f = 1;
    for (; k > 0; --k)
      f *= 10;
    if (f != 1) MultiplyAdd(f, 0);
  }
  // Divides by `divisor`, returning the remainder.
  uint64_t DivideSmall(uint64_t divisor) {
    tUint128 rem = 0;
    for (std::size_t k = limbs_.size(); k-- > 0;) {
      const tUint128 t = (rem << 64) | limbs_[k];
      limbs_[k] = static_cast<uint64_t>(t / divisor);
      rem = t % divisor;
    }
    Trim();
    return static_cast<uint64_t>(rem);
  }
  void ShiftLeft(int n) {
    if (limbs_.empty() || n == 0) return;
    const std::size_t whole = static_cast<std::size_t>(n) / 64;
    const int bits = n % 64;
    if (bits != 0) {
      uint64_t carry = 0;
      for (uint64_t& limb : limbs_) {
        const uint64_t next = limb >> (64 - bits);
        limb = (limb << bits) | carry;
        carry = next;
      }
      if (carry != 0) limbs_.push_back(carry);
    }
    limbs_.insert(limbs_.begin(), whole, 0);
  }
  void ShiftRight(int n) {
    const std::size_t whole = static_cast<std::size_t>(n) / 64;
    if (whole >= limbs_.size()) {
      limbs_.clear();
      return;
    }
    limbs_.erase(limbs_.begin(), limbs_.begin() + static_cast<std::ptrdiff_t>(whole));
    const int bits = n % 64;
    if (bits != 0) {
      for (std::size_t k = 0; k < limbs_.size(); ++k) {
        limbs_[k] >>= bits;
        if (k + 1 < limbs_.size()) limbs_[k] |= limbs_[k + 1] << (64 - bits);
      }
    }
    Trim();
  }
  void AddOne() { MultiplyAdd(1, 1); }
  int Compare(const tBig& o) const {
    if (limbs_.size() != o.limbs_.size()) return limbs_.size() < o.limbs_.size() ? -1 : 1;
    for (std::size_t k = limbs_.size(); k-- > 0;) {
      if (limbs_[k] != o.limbs_[k]) return limbs_[k] < o.limbs_[k] ? -1 : 1;
    }
    return 0;
  }
  void Subtract(const tBig& o) {  // *this >= o
    uint64_t borrow = 0;
    for (std::size_t k = 0; k < limbs_.size(); ++k) {
      const uint64_t s = k < o.limbs_.size() ? o.limbs_[k] : 0;
      const uint64_t d = limbs_[k] - s - borrow;
      borrow = (limbs_[k] < s || (limbs_[k] - s) < borrow) ? 1 : 0;
      limbs_[k] = d;
    }
    Trim();
  }
  // The 64 bits from position `from` up (bits below 0 read as 0).
  uint64_t BitsFrom(int from) const {
    uint64_t v = 0;
    for (int i = 63; i >= 0; --i)
      v = (v << 1) | (from + i >= 0 && Bit(from + i) ? 1 : 0);
    return v;
  }
  std::string Decimal() const {
    if (limbs_.empty()) return "0";
    tBig t = *this;
    std::string digits;
    while (!t.IsZero()) {
      uint64_t chunk = t.DivideSmall(10000000000000000000u);
      for (int i = 0; i < 19; ++i) {
        digits.push_back(static_cast<char>('0' + chunk % 10));
        chunk /= 10;
      }
    }
    while (digits.size() > 1 && digits.back() == '0')
      digits.pop_back();
    std::reverse(digits.begin(), digits.end());
    return digits;
  }

 private:
  void Trim() {
    while (!limbs_.empty() && limbs_.back() == 0)
      limbs_.pop_back();
  }
  std::vector<uint64_t> limbs_;
};

// round(|v| 10^k), halves to even, for a finite non-zero v = sig 2^e.
tBig ScaledRounded(uint64_t sig, int32_t e, int k) {
  tBig n(sig);
  if (k >= 0) {
    n.MultiplyByPowerOfTen(k);
    if (e >= 0) {
      n.ShiftLeft(e);
      return n;
    }
    const int s = -e;
    const bool half = n.Bit(s - 1);
    const bool sticky = n.AnyBelow(s - 1);
    n.ShiftRight(s);
    if (half && (sticky || n.Bit(0))) n.AddOne();
    return n;
  }
  // k < 0: divide by 2^-e (when e < 0) and by 10^-k, keeping whether any
  // remainder was left, then round on the last digit divided off.
  bool sticky = false;
  if (e >= 0) {
    n.ShiftLeft(e);
  } else {
    sticky = n.AnyBelow(-e);
    n.ShiftRight(-e);
  }
  int m = -k;
  while (m > 1) {
    const int step = std::min(m - 1, 19);
    uint64_t p = 1;
    for (int i = 0; i < step; ++i)
      p *= 10;
    sticky = n.DivideSmall(p) != 0 || sticky;
    m -= step;
  }
  const uint64_t last = n.DivideSmall(10);
  if (last > 5 || (last == 5 && (sticky || n.Bit(0)))) n.AddOne();
  return n;
}

std::string Exponent(int x) {
  std::string t = x < 0 ? "e-" : "e+";
  const std::string digits = std::to_string(x < 0 ? -x : x);
  if (digits.size() < 2) t += '0';
  return t + digits;
}

// The digits of a finite value to `precision` decimals after the first
// significant one, and its decimal exponent.
std::string ScientificDigits(const tParts& p, int precision, int& x) {
  if (p.kind == kZero) {
    x = 0;
    return std::string(static_cast<std::size_t>(precision) + 1, '0');
  }
  const int32_t e = p.exp - kBias - 63;
  // floor(log10 |v|), estimated from the binary exponent, then corrected.
  x = static_cast<int>(std::floor((p.exp - kBias) * 0.30102999566398119521));
  while (true) {
    std::string digits = ScaledRounded(p.sig, e, precision - x).Decimal();
    const int want = precision + 1;
    if (static_cast<int>(digits.size()) > want) {
      ++x;
      continue;
    }
    if (static_cast<int>(digits.size()) < want) {
      --x;
      continue;
    }
    return digits;
  }
}

std::string Fixed(const tParts& p, int precision) {
  std::string digits = p.kind == kZero
                           ? std::string("0")
                           : ScaledRounded(p.sig, p.exp - kBias - 63, precision).Decimal();
  if (static_cast<int>(digits.size()) <= precision)
    digits.insert(0, static_cast<std::size_t>(precision + 1) - digits.size(), '0');
  if (precision > 0) digits.insert(digits.size() - static_cast<std::size_t>(precision), 1, '.');
  return digits;
}

std::string Scientific(const tParts& p, int precision, int& x) {
  std::string digits = ScientificDigits(p, precision, x);
  if (precision > 0) digits.insert(1, 1, '.');
  return digits + Exponent(x);
}

}  // namespace

std::string ToText(tSoftExtended value, tFormat format, int precision) {
  const tParts p = Unpack(value);
  const std::string sign = p.sign ? "-" : "";
  if (IsNaNKind(p.kind)) return sign + "nan";
  if (p.kind == kInf) return sign + "inf";
  switch (format) {
    case tFormat::kFixed:
      return sign + Fixed(p, precision);
    case tFormat::kScientific: {
      int x;
      return sign + Scientific(p, precision, x);
    }
    case tFormat::kGeneral:
    default: {
      const int significant = precision == 0 ? 1 : precision;
      int x;
      ScientificDigits(p, significant - 1, x);
      std::string text;
      if (x < significant && x >= -4) {
        text = Fixed(p, significant - 1 - x);
      } else {
        text = Scientific(p, significant - 1, x);
      }
      // Trailing zeros of the fraction dropped, and a bare point.
      const std::size_t exponent_at = std::min(text.find('e'), text.size());
      std::string mantissa = text.substr(0, exponent_at);
      if (mantissa.find('.') != std::string::npos) {
        while (mantissa.back() == '0')
          mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
      }
      return sign + mantissa + text.substr(exponent_at);
    }
  }
}

tSoftExtended FromText(const std::string& text, std::size_t& end, bool& out_of_range) {
  out_of_range = false;
  end = 0;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  auto matches = [&](std::size_t at, const char* word) {
    for (std::size_t k = 0; word[k] != '\0'; ++k) {
      if (at + k >= text.size() || (text[at + k] | 0x20) != word[k]) return false;
    }
    return true;
  };
  if (matches(i, "inf")) {
    end = i + (matches(i, "infinity") ? 8 : 3);
    return Pack(negative, kMaxExponent, kIntegerBit);
  }
  if (matches(i, "nan")) {
    end = i + 3;
    return Pack(negative, kMaxExponent, kDefaultNaNSignificand);
  }
  tBig digits;
  int32_t exponent10 = 0;
  bool any_digit = false, nonzero = false;
  int kept = 0;  // digits kept (beyond 800 significant ones only whether any is non-zero counts)
  bool dropped_nonzero = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    any_digit = true;
    if (c != '0') nonzero = true;
    if (!nonzero) {
      if (point) --exponent10;
      continue;
    }
    if (kept < 800) {
      digits.MultiplyAdd(10, static_cast<uint64_t>(c - '0'));
      ++kept;
      if (point) --exponent10;
    } else {
      if (c != '0') dropped_nonzero = true;
      if (!point) ++exponent10;
    }
  }
  if (!any_digit) return Pack(false, 0, 0);
  end = i;
  if (i < text.size() && (text[i] | 0x20) == 'e') {
    std::size_t j = i + 1;
    bool exponent_negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent_negative = text[j++] == '-';
    if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
      int32_t written = 0;
      for (; j < text.size() && text[j] >= '0' && text[j] <= '9'; ++j)
        written = std::min(written * 10 + (text[j] - '0'), 100000);
      exponent10 += exponent_negative ? -written : written;
      end = j;
    }
  }
  if (!nonzero) return Pack(negative, 0, 0);
  // A digit beyond the 800 kept stands for any non-zero tail: one more
  // digit 1 at the end places it correctly between its neighbours.
  if (dropped_nonzero) {
    digits.MultiplyAdd(10, 1);
    --exponent10;
  }
  const int magnitude = kept + exponent10;  // the value is below 10^magnitude
  if (magnitude > 4940) {
    out_of_range = true;
    flags |= kOverflow | kInexact;
    return Pack(negative, kMaxExponent, kIntegerBit);
  }
  if (magnitude < -4960) {
    flags |= kUnderflow | kInexact;
    return Pack(negative, 0, 0);
  }
  // The value is q 2^t (plus a sticky part); q's top 64 bits and the rest
  // are rounded.
  tBig q = digits;
  int32_t t = 0;
  bool sticky = false;
  if (exponent10 >= 0) {
    q.MultiplyByPowerOfTen(exponent10);
  } else {
    tBig divisor(1);
    divisor.MultiplyByPowerOfTen(-exponent10);
    // q = floor(digits 2^s / divisor) with at least 130 bits.
    const int s = std::max(0, divisor.BitLength() - digits.BitLength() + 130);
    tBig numerator = digits;
    numerator.ShiftLeft(s);
    tBig quotient;
    const int top = numerator.BitLength() - divisor.BitLength() + 1;
    tBig shifted = divisor;
    shifted.ShiftLeft(top);
    for (int bit = top; bit >= 0; --bit) {
      quotient.ShiftLeft(1);
      if (numerator.Compare(shifted) >= 0) {
        numerator.Subtract(shifted);
        quotient.AddOne();
      }
      shifted.ShiftRight(1);
    }
    sticky = !numerator.IsZero();
    q = quotient;
    t = -s;
  }
  const int length = q.BitLength();
  const int from = length - 128;
  const uint64_t hi = q.BitsFrom(length - 64);
  uint64_t lo = q.BitsFrom(from);
  if (q.AnyBelow(std::max(from, 0)) || sticky) lo |= 1;
  const unsigned saved = flags;
  const tSoftExtended r = RoundPack(negative, kBias + 63 + (length - 64) + t, hi, lo);
  if (r.IsInf()) out_of_range = true;
  flags |= saved;
  return r;
}

}  // namespace soft_extended

std::ostream& operator<<(std::ostream& out, tSoftExtended value) {
  return out << soft_extended::ToText(value, soft_extended::tFormat::kGeneral,
                                      static_cast<int>(out.precision()));
}
