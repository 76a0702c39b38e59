// The software extended format's text: written as printf's %Le, %Lf and
// %Lg write it, and read as strtold reads it, both exactly rounded.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "numeric/soft_extended.h"
#include "numeric/soft_extended_parts.h"

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
