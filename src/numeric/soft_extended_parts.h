// The software extended format's own parts, shared by its arithmetic,
// conversions and text (soft_extended*.cpp): an operand taken apart, the
// rounding of an exact result to the format, and the NaN rules.  Not for
// other code: the type's interface is numeric/soft_extended.h.
#pragma once

#include <bit>
#include <cstdint>

#include "numeric/soft_extended.h"

namespace soft_extended {

inline constexpr uint16_t kSignBit = 0x8000;
inline constexpr uint64_t kHalf = uint64_t{1} << 63;  // one half of the last place, as `lo`
inline constexpr uint64_t kDefaultNaNSignificand = 0xC000000000000000;

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

tSoftExtended DefaultNaN();

// The NaN result of an operation with a NaN (or unsupported) operand.
tSoftExtended PropagateNaN(tSoftExtended a, const tParts& pa, tSoftExtended b, const tParts& pb);

tSoftExtended PropagateNaN(tSoftExtended a, const tParts& pa);

// The value (hi + lo / 2^64) 2^(exp - kBias - 63), hi with its leading bit
// set, rounded to the format; only lo's leading bit and whether the rest of
// it is zero matter.
tSoftExtended RoundPack(bool sign, int32_t exp, uint64_t hi, uint64_t lo);

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

}  // namespace soft_extended
