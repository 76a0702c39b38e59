// The software extended format's arithmetic: + - * /, the square root and
// the comparison, each rounded and flagged as the x87 does it; and the
// rounding and NaN rules that the conversions and the text share.
#include <bit>
#include <cmath>
#include <cstdint>

#include "numeric/soft_extended.h"
#include "numeric/soft_extended_parts.h"

namespace soft_extended {

tSoftExtended DefaultNaN() {
  flags |= kInvalid;
  return tSoftExtended::FromBits(kDefaultNaNSignificand, 0xffff);
}

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

}  // namespace soft_extended

using namespace soft_extended;

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
  // n = n1:n0 in [2^126, 2^128), its root is sqrt(n) 2^(f/2), sqrt(n) in
  // [2^63, 2^64).
  const int32_t e = p.exp - kBias;
  uint64_t n1, n0;
  int32_t f;
  if (((e - 126) & 1) == 0) {
    n1 = p.sig >> 1;
    n0 = p.sig << 63;
    f = e - 126;
  } else {
    n1 = p.sig;
    n0 = 0;
    f = e - 127;
  }
  // The root from double precision, one Newton step, then put right.
  // (The double's root may round to 2^64, which is no uint64_t; so may the
  // Newton step when the root is just below it.)  The products and the
  // quotient are formed in 64-bit halves (see MultiplyWide).
  const double estimate = std::sqrt(static_cast<double>(n1) * 0x1p64 + static_cast<double>(n0));
  uint64_t r = estimate >= 0x1p64 ? ~uint64_t{0} : static_cast<uint64_t>(estimate);
  if (r < kIntegerBit) r = kIntegerBit;
  if (n1 < r) {  // (otherwise n / r would not fit; the estimate is then put right below)
    uint64_t unused;
    const uint64_t q = DivideWide(n1, n0, r, unused);
    // (r + q) / 2, which may not fit before halving.
    r = (r >> 1) + (q >> 1) + (r & q & 1);
  }
  // r r against n: true when r^2 > n.
  auto square_above = [&](uint64_t x) {
    uint64_t hi, lo;
    MultiplyWide(x, x, hi, lo);
    return hi > n1 || (hi == n1 && lo > n0);
  };
  while (square_above(r))
    --r;
  while (r != ~uint64_t{0} && !square_above(r + 1))
    ++r;
  // The remainder n - r^2 (below 2 r + 1, so at most 65 bits) against r.
  uint64_t square_hi, square_lo;
  MultiplyWide(r, r, square_hi, square_lo);
  const uint64_t rem_lo = n0 - square_lo;
  const uint64_t rem_hi = n1 - square_hi - (n0 < square_lo ? 1 : 0);
  const uint64_t lo = (rem_hi | rem_lo) == 0 ? 0 : (rem_hi != 0 || rem_lo > r) ? kHalf | 1 : 1;
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
