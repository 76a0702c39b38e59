// The software extended format against the processor's own: every
// operation, over operand pairs drawn to hit the hard cases (ties at the
// rounding point, subnormal results, the edges of overflow and underflow,
// cancellation, every special value and encoding, both signs), must give
// the same bits and raise the same flags as the x87 instruction the
// compiler emits for long double.  Any difference fails, and the test also
// fails when the drawing no longer reaches a class of hard cases.
//
// QUORREL_SOFT_EXTENDED_PAIRS sets the pairs per operation (default
// 300,000; the longer check runs 10^8).
#include "numeric/soft_extended.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#define QUORREL_X87 1
#else
#define QUORREL_X87 0
#endif

namespace {

using soft_extended::tUint128;

constexpr unsigned kHardwareFlags =
    FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW | FE_INEXACT;
static_assert(FE_INVALID == soft_extended::kInvalid &&
              FE_DIVBYZERO == soft_extended::kDivideByZero &&
              FE_OVERFLOW == soft_extended::kOverflow &&
              FE_UNDERFLOW == soft_extended::kUnderflow && FE_INEXACT == soft_extended::kInexact);

struct tBits {
  uint64_t sig = 0;
  uint16_t se = 0;
  bool operator==(const tBits&) const = default;
};

long double ToHardware(tBits b) {
  long double x = 0;
  std::memcpy(&x, &b.sig, 8);
  std::memcpy(reinterpret_cast<char*>(&x) + 8, &b.se, 2);
  return x;
}
tBits FromHardware(long double x) {
  tBits b;
  std::memcpy(&b.sig, &x, 8);
  std::memcpy(&b.se, reinterpret_cast<const char*>(&x) + 8, 2);
  return b;
}
tSoftExtended ToSoft(tBits b) {
  return tSoftExtended::FromBits(b.sig, b.se);
}
tBits FromSoft(tSoftExtended x) {
  return {x.Significand(), x.SignExponent()};
}

// xoshiro256** (Blackman and Vigna), seeded by splitmix64.
class tRandom {
 public:
  explicit tRandom(uint64_t seed) {
    for (uint64_t& s : s_) {
      seed += 0x9e3779b97f4a7c15;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
      z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
      s = z ^ (z >> 31);
    }
  }
  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }
  uint64_t Below(uint64_t n) { return Next() % n; }
  int Between(int lo, int hi) {
    return lo + static_cast<int>(Below(static_cast<uint64_t>(hi - lo + 1)));
  }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t s_[4];
};

// Every special value and encoding, both signs.
std::vector<tBits> SpecialValues() {
  const std::vector<std::pair<uint64_t, uint16_t>> magnitudes = {
      {0, 0},                        // zero
      {1, 0},                        // smallest subnormal
      {0x7fffffffffffffff, 0},       // largest subnormal
      {0x4000000000000000, 0},       // a subnormal
      {0x8000000000000000, 0},       // pseudo-denormal, 2^-16382
      {0xc000000000000001, 0},       // pseudo-denormal
      {0x8000000000000000, 1},       // smallest normal
      {0xffffffffffffffff, 1},       //
      {0x8000000000000000, 0x3fff},  // 1
      {0xffffffffffffffff, 0x3ffe},  // 1 - 2^-64
      {0x8000000000000001, 0x3fff},  // 1 + 2^-63
      {0xc000000000000000, 0x4000},  // 3
      {0xffffffffffffffff, 0x7ffe},  // largest finite
      {0x8000000000000000, 0x7ffe},  //
      {0x8000000000000000, 0x7fff},  // infinity
      {0xc000000000000000, 0x7fff},  // quiet NaN (default's payload)
      {0xc000000000000001, 0x7fff},  // quiet NaN
      {0xffffffffffffffff, 0x7fff},  // quiet NaN
      {0x8000000000000001, 0x7fff},  // signalling NaN
      {0xbfffffffffffffff, 0x7fff},  // signalling NaN
      {0x0000000000000000, 0x7fff},  // pseudo-infinity
      {0x4000000000000000, 0x7fff},  // pseudo-NaN
      {0x0000000000000001, 0x3fff},  // unnormal
      {0x7fffffffffffffff, 0x0001},  // unnormal
  };
  std::vector<tBits> values;
  for (const auto& [sig, e] : magnitudes) {
    values.push_back({sig, e});
    values.push_back({sig, static_cast<uint16_t>(e | 0x8000)});
  }
  return values;
}

// A significand for ties and near-ties: few set bits, long runs of ones or
// zeros at either end, or any bits.
uint64_t DrawSignificand(tRandom& random) {
  switch (random.Below(6)) {
    case 0: {  // a few bits
      uint64_t m = soft_extended::kIntegerBit;
      for (int k = static_cast<int>(random.Below(4)); k > 0; --k)
        m |= uint64_t{1} << random.Below(63);
      return m;
    }
    case 1:  // ones at the bottom
      return soft_extended::kIntegerBit | (random.Next() << random.Between(1, 63)) |
             ((uint64_t{1} << random.Between(1, 62)) - 1);
    case 2:  // zeros at the bottom
      return (random.Next() | soft_extended::kIntegerBit) & (~uint64_t{0} << random.Between(1, 63));
    case 3:  // ones at the top, or all ones but for the last bits
      if (random.Below(2) == 0) return ~uint64_t{0} - random.Below(4);
      return ~uint64_t{0} << random.Below(64) >> random.Below(8) | soft_extended::kIntegerBit;
    case 4:  // a small integer times a power of two
      return (random.Next() >> random.Between(30, 63) | 1) << 20 | soft_extended::kIntegerBit;
    default:
      return random.Next() | soft_extended::kIntegerBit;
  }
}

tBits Finite(tRandom& random, int biased_exponent, bool sign) {
  if (biased_exponent <= 0) {  // a subnormal: shift the significand down
    const int shift = 1 - biased_exponent;
    const uint64_t m = shift >= 64 ? 1 : DrawSignificand(random) >> shift;
    return {m == 0 ? 1 : m, static_cast<uint16_t>(sign ? 0x8000 : 0)};
  }
  if (biased_exponent >= 0x7fff) biased_exponent = 0x7ffe;
  return {DrawSignificand(random), static_cast<uint16_t>((sign ? 0x8000 : 0) | biased_exponent)};
}

// One operand: a special value, any bits, a finite value anywhere, near 1,
// near the bottom or near the top of the range.
tBits DrawOperand(tRandom& random, const std::vector<tBits>& specials) {
  const bool sign = random.Below(2) != 0;
  switch (random.Below(8)) {
    case 0:
      return specials[random.Below(specials.size())];
    case 1:
      return {random.Next(), static_cast<uint16_t>(random.Next())};
    case 2:
      return Finite(random, random.Between(-70, 0x7ffe), sign);
    case 3:
      return Finite(random, random.Between(-70, 140), sign);
    case 4:
      return Finite(random, random.Between(0x7ffe - 140, 0x7ffe), sign);
    default:
      return Finite(random, 0x3fff + random.Between(-80, 80), sign);
  }
}

bool IsFiniteNonZero(tBits x) {
  const int e = x.se & 0x7fff;
  return e != 0x7fff && x.sig != 0 && (e == 0 || (x.sig >> 63) != 0);
}

// A value at an edge of the range, give or take a few units in the last
// place: the smallest normal, the largest finite value, or 2^16384.
long double DrawEdge(tRandom& random) {
  const long double unit = 0x1p-16445L;  // the subnormals' last place
  const long double edges[] = {0x1p-16382L, std::numeric_limits<long double>::max(),
                               0x1p-16382L - unit};
  const long double edge = edges[random.Below(3)];
  const long double ulp = edge < 1 ? unit : 0x1p16320L;
  return edge + ulp * (static_cast<long double>(random.Between(-8, 8)) / 4);
}

// The second operand of a binary operation: mostly placed against the first
// so that the result falls on a hard case (for a quotient at an edge of the
// range, the first is drawn again).
tBits DrawPartner(tRandom& random, const std::vector<tBits>& specials, tBits& a, char op) {
  if (random.Below(4) == 0) return DrawOperand(random, specials);
  const bool sign = random.Below(2) != 0;
  const int ea = a.se & 0x7fff;
  switch (op) {
    case '+':
    case '-':
    case 'c':
      switch (random.Below(3)) {
        case 0:  // cancellation: nearly equal magnitudes
          return {a.sig + random.Below(5) - 2,
                  static_cast<uint16_t>(a.se ^ (random.Below(2) << 15))};
        case 1:  // the partner's bits across the rounding point
          return Finite(random, ea - random.Between(0, 130), sign);
        default:
          return Finite(random, ea + random.Between(-3, 3), sign);
      }
    case '*': {
      // The product at an edge of the range (the partner is the edge over
      // the first operand), near the top, near the bottom, or around 1.
      if (random.Below(4) == 0 && ea > 0x1000 && ea < 0x6fff && IsFiniteNonZero(a)) {
        volatile long double edge = DrawEdge(random), x = ToHardware(a);
        return FromHardware(edge / x);
      }
      const int target = random.Below(3) == 0   ? 0x7ffe + random.Between(-2, 2)
                         : random.Below(2) == 0 ? random.Between(-70, 2)
                                                : 0x3fff + random.Between(-2, 2);
      return Finite(random, target - ea + 0x3fff, sign);
    }
    default: {                     // '/'
      if (random.Below(4) == 0) {  // the quotient at an edge: both operands replaced
        volatile long double edge = DrawEdge(random);
        const tBits b = Finite(random, edge < 1 ? 0x3fff : 0x3ffe, sign);
        volatile long double y = ToHardware(b);
        a = FromHardware(edge * y);
        // Off by a unit or two, or the quotient would be exact.
        if (a.sig > 4 && a.sig < ~uint64_t{4}) a.sig += random.Below(5) - 2;
        return b;
      }
      const int target = random.Below(3) == 0   ? 0x7ffe + random.Between(-2, 2)
                         : random.Below(2) == 0 ? random.Between(-70, 2)
                                                : 0x3fff + random.Between(-2, 2);
      return Finite(random, ea - target + 0x3fff, sign);
    }
  }
}

// The result of one operation: its bits (or integer, or truth value) and
// the flags it raised.
struct tOutcome {
  tBits bits;
  int64_t integer = 0;
  unsigned flags = 0;
  bool operator==(const tOutcome&) const = default;
};

template <typename tHardwareOp>
tOutcome RunHardware(tHardwareOp op) {
  std::feclearexcept(FE_ALL_EXCEPT);
  tOutcome out = op();
  out.flags = static_cast<unsigned>(std::fetestexcept(kHardwareFlags));
  return out;
}

template <typename tSoftOp>
tOutcome RunSoft(tSoftOp op) {
  soft_extended::ClearFlags(soft_extended::kAllFlags);
  tOutcome out = op();
  out.flags = soft_extended::TestFlags(soft_extended::kAllFlags);
  return out;
}

// The hardware operations, kept out of line and fed through volatiles so
// that the compiler computes them at run time with the x87 instructions.
#define HARDWARE_BINARY(name, expr)                              \
  __attribute__((noinline)) tOutcome name(tBits pa, tBits pb) {  \
    volatile long double a = ToHardware(pa), b = ToHardware(pb); \
    volatile long double r = (expr);                             \
    return {FromHardware(r), 0, 0};                              \
  }
HARDWARE_BINARY(HardwareAdd, a + b)
HARDWARE_BINARY(HardwareSubtract, a - b)
HARDWARE_BINARY(HardwareMultiply, a* b)
HARDWARE_BINARY(HardwareDivide, a / b)

#define HARDWARE_COMPARE(name, expr)                             \
  __attribute__((noinline)) tOutcome name(tBits pa, tBits pb) {  \
    volatile long double a = ToHardware(pa), b = ToHardware(pb); \
    volatile bool r = (expr);                                    \
    return {{}, r ? 1 : 0, 0};                                   \
  }
HARDWARE_COMPARE(HardwareEqual, a == b)
HARDWARE_COMPARE(HardwareNotEqual, a != b)
HARDWARE_COMPARE(HardwareLess, a < b)
HARDWARE_COMPARE(HardwareLessEqual, a <= b)
HARDWARE_COMPARE(HardwareGreater, a > b)
HARDWARE_COMPARE(HardwareGreaterEqual, a >= b)

struct tBinaryOp {
  const char* name;
  char kind;  // '+', '-', '*', '/' or 'c' (comparison)
  std::function<tOutcome(tBits, tBits)> hardware;
  std::function<tOutcome(tBits, tBits)> soft;
};

tOutcome SoftValue(tSoftExtended x) {
  return {FromSoft(x), 0, 0};
}
tOutcome SoftTruth(bool x) {
  return {{}, x ? 1 : 0, 0};
}

std::vector<tBinaryOp> BinaryOps() {
  return {
      {"+", '+', HardwareAdd, [](tBits a, tBits b) { return SoftValue(ToSoft(a) + ToSoft(b)); }},
      {"-", '-', HardwareSubtract,
       [](tBits a, tBits b) { return SoftValue(ToSoft(a) - ToSoft(b)); }},
      {"*", '*', HardwareMultiply,
       [](tBits a, tBits b) { return SoftValue(ToSoft(a) * ToSoft(b)); }},
      {"/", '/', HardwareDivide, [](tBits a, tBits b) { return SoftValue(ToSoft(a) / ToSoft(b)); }},
      {"==", 'c', HardwareEqual,
       [](tBits a, tBits b) { return SoftTruth(ToSoft(a) == ToSoft(b)); }},
      {"!=", 'c', HardwareNotEqual,
       [](tBits a, tBits b) { return SoftTruth(ToSoft(a) != ToSoft(b)); }},
      {"<", 'c', HardwareLess, [](tBits a, tBits b) { return SoftTruth(ToSoft(a) < ToSoft(b)); }},
      {"<=", 'c', HardwareLessEqual,
       [](tBits a, tBits b) { return SoftTruth(ToSoft(a) <= ToSoft(b)); }},
      {">", 'c', HardwareGreater,
       [](tBits a, tBits b) { return SoftTruth(ToSoft(a) > ToSoft(b)); }},
      {">=", 'c', HardwareGreaterEqual,
       [](tBits a, tBits b) { return SoftTruth(ToSoft(a) >= ToSoft(b)); }},
  };
}

int64_t PairsPerOperation() {
  const char* text = std::getenv("QUORREL_SOFT_EXTENDED_PAIRS");
  if (text == nullptr || *text == '\0') return 300000;
  return std::strtoll(text, nullptr, 10);
}

// Runs work(0 ... count - 1) on as many threads as the processor has; each
// thread has its own flags, in the processor as in the software.
void ForEachInParallel(std::size_t count, const std::function<void(std::size_t)>& work) {
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> threads;
  const unsigned n = std::max(1u, std::min(std::thread::hardware_concurrency(), 16u));
  for (unsigned t = 0; t < n; ++t) {
    threads.emplace_back([&] {
      for (std::size_t k; (k = next.fetch_add(1)) < count;)
        work(k);
    });
  }
  for (std::thread& t : threads)
    t.join();
}

// FNV-1a over the outcomes, so that two runs can also be compared whole.
void Hash(uint64_t& h, const tOutcome& o) {
  const uint64_t words[] = {o.bits.sig, o.bits.se, static_cast<uint64_t>(o.integer), o.flags};
  for (uint64_t w : words) {
    for (int i = 0; i < 8; ++i) {
      h ^= (w >> (8 * i)) & 0xff;
      h *= 0x100000001b3;
    }
  }
}

std::string Show(tBits b) {
  char text[40];
  std::snprintf(text, sizeof text, "%04x:%016llx", b.se, static_cast<unsigned long long>(b.sig));
  return text;
}
std::string Show(const tOutcome& o) {
  return Show(o.bits) + " int " + std::to_string(o.integer) + " flags " + std::to_string(o.flags);
}

// The hard case a finite, non-zero result of + - * / falls on, judged from
// the exact result independently of the code under test: a tie at the
// rounding point, a subnormal result, one that rounds to the smallest
// normal, an overflow, or a cancellation.
struct tCoverage {
  std::map<std::string, int64_t> counts;
  void Count(const std::string& op, const std::string& what) { ++counts[op + " " + what]; }
};

// True when the exact product of two finite, non-zero values lies halfway
// between two neighbours of the format (normal range).
bool ProductIsTie(tBits a, tBits b) {
  auto normalized = [](tBits x) {
    const int shift = std::countl_zero(x.sig);
    return x.sig << shift;
  };
  tUint128 p = static_cast<tUint128>(normalized(a)) * normalized(b);
  if ((p >> 127) == 0) p <<= 1;
  return static_cast<uint64_t>(p) == soft_extended::kIntegerBit;
}

void Classify(tCoverage& coverage, const tBinaryOp& op, tBits a, tBits b,
              const tOutcome& hardware) {
  const std::string name = op.name;
  const int er = hardware.bits.se & 0x7fff;
  if (hardware.flags & FE_INVALID) coverage.Count(name, "invalid");
  if (op.kind == 'c') return;
  if (hardware.flags & FE_OVERFLOW) coverage.Count(name, "overflow");
  if (hardware.flags & FE_UNDERFLOW) coverage.Count(name, "underflow");
  if (hardware.flags & FE_DIVBYZERO) coverage.Count(name, "division by zero");
  if (er == 0 && hardware.bits.sig != 0) coverage.Count(name, "subnormal result");
  if (er == 1 && hardware.bits.sig == soft_extended::kIntegerBit && (hardware.flags & FE_INEXACT))
    coverage.Count(name, "rounded to the smallest normal");
  if (er == 0x7ffe && hardware.bits.sig == ~uint64_t{0}) coverage.Count(name, "largest finite");
  const int ea = a.se & 0x7fff, eb = b.se & 0x7fff;
  if (!IsFiniteNonZero(a) || !IsFiniteNonZero(b)) {
    const bool a_nan = ea == 0x7fff && a.sig != soft_extended::kIntegerBit;
    const bool b_nan = eb == 0x7fff && b.sig != soft_extended::kIntegerBit;
    if (a_nan && b_nan) coverage.Count(name, "two NaNs");
    return;
  }
  if ((op.kind == '+' || op.kind == '-') && IsFiniteNonZero(hardware.bits) &&
      er < std::max(ea, eb) - 40)
    coverage.Count(name, "cancellation");
  if ((op.kind == '+' || op.kind == '-') && hardware.bits.sig == 0 && er == 0)
    coverage.Count(name, "exact zero");
  if (op.kind == '*' && er > 1 && er < 0x7ffe && ProductIsTie(a, b)) coverage.Count(name, "tie");
  if (op.kind == '+' || op.kind == '-') {
    // A tie: the exact sum's error against the result is half its last place.
    volatile long double x = ToHardware(a), y = op.kind == '+' ? ToHardware(b) : -ToHardware(b);
    const long double s = x + y;
    if (std::isfinite(s) && s != 0 && std::fabs(s) > 0x1p-16000L && std::fabs(x) < 0x1p16000L &&
        std::fabs(y) < 0x1p16000L) {
      const long double yy = s - x;
      const long double error = (x - (s - yy)) + (y - yy);
      int exponent;
      std::frexp(s, &exponent);
      if (std::fabs(error) == std::ldexp(1.0L, exponent - 65)) coverage.Count(name, "tie");
    }
  }
}

// The products and quotients in 32-bit digits, which WebAssembly's build
// computes with (x86-64 uses its own instructions), against 128-bit integer
// arithmetic: significands drawn for ties and near-ties, the numerators the
// division forms (a significand shifted left by 63 or 64) and any below the
// divisor times 2^64, with a count of the draws whose first estimate of a
// quotient digit had to be put right.
TEST(SoftExtended, WideProductsAndQuotientsInHalvesAsInWholes) {
  tRandom random(0x3264);
  int64_t differences = 0, corrected = 0;
  const int64_t draws = 2000000;
  for (int64_t i = 0; i < draws; ++i) {
    const uint64_t a = random.Below(4) == 0 ? random.Next() : DrawSignificand(random);
    const uint64_t v = DrawSignificand(random);
    uint64_t hi, lo;
    soft_extended::MultiplyWideInHalves(a, v, hi, lo);
    const tUint128 p = static_cast<tUint128>(a) * v;
    if (hi != static_cast<uint64_t>(p >> 64) || lo != static_cast<uint64_t>(p)) ++differences;
    // u1:u0 below v 2^64.
    uint64_t u1, u0;
    switch (random.Below(3)) {
      case 0:
        u1 = (a | soft_extended::kIntegerBit) >> 1;
        u0 = a << 63;
        break;
      case 1:
        u1 = a < v ? a : v - 1 - random.Below(2);
        u0 = 0;
        break;
      default:
        u1 = v - 1 - (random.Below(2) == 0 ? 0 : random.Next() % v);
        u0 = random.Next();
    }
    const tUint128 n = (static_cast<tUint128>(u1) << 64) | u0;
    uint64_t r;
    const uint64_t q = soft_extended::DivideWideInHalves(u1, u0, v, r);
    if (q != static_cast<uint64_t>(n / v) || r != static_cast<uint64_t>(n % v)) {
      if (++differences <= 5)
        ADD_FAILURE() << std::hex << u1 << ":" << u0 << " / " << v << ": " << q << " rest " << r;
    }
    if ((u1 / (v >> 32)) != static_cast<uint64_t>(n / v >> 32)) ++corrected;
  }
  EXPECT_EQ(differences, 0);
  EXPECT_GE(corrected, draws / 100);
}

#if QUORREL_X87

TEST(SoftExtended, EveryOperandPairAsTheProcessorComputesIt) {
  const int64_t pairs = PairsPerOperation();
  const std::vector<tBits> specials = SpecialValues();
  const std::vector<tBinaryOp> ops = BinaryOps();
  std::vector<tCoverage> coverages(ops.size());
  ForEachInParallel(ops.size(), [&](std::size_t k) {
    const tBinaryOp& op = ops[k];
    tCoverage& coverage = coverages[k];
    tRandom random(0x5eed0000 + static_cast<uint64_t>(op.kind) * 131 + std::strlen(op.name));
    uint64_t hardware_hash = 0xcbf29ce484222325, soft_hash = hardware_hash;
    int64_t differences = 0, ran = 0;
    auto check = [&](tBits a, tBits b) {
      const tOutcome hardware = RunHardware([&] { return op.hardware(a, b); });
      const tOutcome soft = RunSoft([&] { return op.soft(a, b); });
      Hash(hardware_hash, hardware);
      Hash(soft_hash, soft);
      ++ran;
      Classify(coverage, op, a, b, hardware);
      if (!(hardware == soft) && ++differences <= 5) {
        ADD_FAILURE() << Show(a) << " " << op.name << " " << Show(b) << ": processor "
                      << Show(hardware) << ", software " << Show(soft);
      }
    };
    // Every pair of special values, then the drawn pairs.
    for (tBits a : specials)
      for (tBits b : specials)
        check(a, b);
    for (int64_t i = 0; i < pairs; ++i) {
      tBits a = DrawOperand(random, specials);
      const tBits b = DrawPartner(random, specials, a, op.kind);
      check(a, b);
    }
    EXPECT_EQ(differences, 0) << "operation " << op.name << " over " << ran << " pairs";
    EXPECT_EQ(soft_hash, hardware_hash) << op.name;
    EXPECT_EQ(ran, pairs + static_cast<int64_t>(specials.size() * specials.size()));
  });
  tCoverage coverage;
  for (const tCoverage& c : coverages)
    for (const auto& [what, count] : c.counts)
      coverage.counts[what] += count;
  // The drawing reaches every hard case (a share of the pairs each).
  const int64_t enough = pairs / 1000;
  for (const char* op : {"+", "-"}) {
    for (const char* what : {"tie", "cancellation", "exact zero", "subnormal result", "overflow",
                             "invalid", "two NaNs", "largest finite"})
      EXPECT_GE(coverage.counts[std::string(op) + " " + what], enough) << op << " " << what;
  }
  for (const char* what : {"tie", "subnormal result", "underflow", "rounded to the smallest normal",
                           "overflow", "invalid", "largest finite"})
    EXPECT_GE(coverage.counts[std::string("* ") + what], enough) << "* " << what;
  // (A quotient of two values of the format never lies within half a unit
  // below 2^-16382 without being exact, so it never rounds up to it.)
  for (const char* what : {"subnormal result", "underflow", "overflow", "division by zero",
                           "invalid", "largest finite"})
    EXPECT_GE(coverage.counts[std::string("/ ") + what], enough) << "/ " << what;
  for (const char* op : {"*", "/"})
    EXPECT_GE(coverage.counts[std::string(op) + " two NaNs"], enough / 4) << op;
  for (const char* op : {"==", "<", ">="})
    EXPECT_GE(coverage.counts[std::string(op) + " invalid"], enough) << op;
}

// An operand for the one-operand operations: anything DrawOperand draws,
// or a value near the edges they care about: halves and whole numbers,
// 2^31 and 2^63, double's range and its subnormals.
tBits DrawUnaryOperand(tRandom& random, const std::vector<tBits>& specials) {
  const bool sign = random.Below(2) != 0;
  switch (random.Below(4)) {
    case 0:
      return DrawOperand(random, specials);
    case 1:  // whole numbers, halves and near them, up to beyond 2^64
      return Finite(random, 0x3fff + random.Between(-2, 65), sign);
    case 2: {  // double's largest and smallest normal and its subnormals
      const int edges[] = {0x3fff + 1023, 0x3fff - 1022, 0x3fff - 1074};
      return Finite(random, edges[random.Below(3)] + random.Between(-54, 2), sign);
    }
    default: {  // near 2^31 and 2^63, from either side
      const int e = random.Below(2) == 0 ? 0x3fff + 31 : 0x3fff + 63;
      const uint64_t near = random.Below(2) == 0 ? soft_extended::kIntegerBit + random.Below(3)
                                                 : ~uint64_t{0} - random.Below(3);
      return {near,
              static_cast<uint16_t>((sign ? 0x8000 : 0) | (e - static_cast<int>(random.Below(2))))};
    }
  }
}

double DoubleFromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
uint64_t BitsOfDouble(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

#define HARDWARE_UNARY(name, expr)                    \
  __attribute__((noinline)) tOutcome name(tBits pa) { \
    volatile long double a = ToHardware(pa);          \
    return expr;                                      \
  }
HARDWARE_UNARY(HardwareSqrt, (tOutcome{FromHardware(std::sqrt(a)), 0, 0}))
HARDWARE_UNARY(HardwareToDouble,
               (tOutcome{{}, static_cast<int64_t>(BitsOfDouble(static_cast<double>(a))), 0}))
HARDWARE_UNARY(HardwareRoundToInt64, (tOutcome{{}, std::llrint(a), 0}))
HARDWARE_UNARY(HardwareTruncateToInt64, (tOutcome{{}, static_cast<long long>(a), 0}))
HARDWARE_UNARY(HardwareTruncateToInt32, (tOutcome{{}, static_cast<int>(a), 0}))
HARDWARE_UNARY(HardwareTrunc, (tOutcome{FromHardware(std::trunc(a)), 0, 0}))
HARDWARE_UNARY(HardwareFloor, (tOutcome{FromHardware(std::floor(a)), 0, 0}))
HARDWARE_UNARY(HardwareCeil, (tOutcome{FromHardware(std::ceil(a)), 0, 0}))
// The operand's significand taken as a 64-bit integer.
__attribute__((noinline)) tOutcome HardwareFromInt64(tBits pa) {
  volatile long long v = static_cast<long long>(pa.sig);
  return {FromHardware(static_cast<long double>(v)), 0, 0};
}
// The operand's significand taken as a double's bits.
__attribute__((noinline)) tOutcome HardwareFromDouble(tBits pa) {
  volatile double d = DoubleFromBits(pa.sig);
  return {FromHardware(static_cast<long double>(d)), 0, 0};
}

struct tUnaryOp {
  const char* name;
  std::function<tOutcome(tBits)> hardware;
  std::function<tOutcome(tBits)> soft;
  unsigned flags_compared;
};

TEST(SoftExtended, EveryOperandAsTheProcessorConvertsIt) {
  const int64_t values = PairsPerOperation();
  const std::vector<tBits> specials = SpecialValues();
  // The C library's trunc, floor and ceil may or may not say that they
  // were inexact; the core never asks.
  constexpr unsigned kNoInexact = kHardwareFlags & ~FE_INEXACT;
  const std::vector<tUnaryOp> ops = {
      {"sqrt", HardwareSqrt, [](tBits a) { return SoftValue(ToSoft(a).Sqrt()); }, kHardwareFlags},
      {"to double", HardwareToDouble,
       [](tBits a) {
         return tOutcome{{}, static_cast<int64_t>(BitsOfDouble(static_cast<double>(ToSoft(a)))), 0};
       },
       kHardwareFlags},
      {"from double", HardwareFromDouble,
       [](tBits a) { return SoftValue(tSoftExtended(DoubleFromBits(a.sig))); }, kHardwareFlags},
      {"from long long", HardwareFromInt64,
       [](tBits a) { return SoftValue(tSoftExtended(static_cast<long long>(a.sig))); },
       kHardwareFlags},
      {"llrint", HardwareRoundToInt64,
       [](tBits a) {
         return tOutcome{{}, llrint(ToSoft(a)), 0};
       },
       kHardwareFlags},
      {"to long long", HardwareTruncateToInt64,
       [](tBits a) {
         return tOutcome{{}, static_cast<long long>(ToSoft(a)), 0};
       },
       kHardwareFlags},
      {"to int", HardwareTruncateToInt32,
       [](tBits a) {
         return tOutcome{{}, static_cast<int>(ToSoft(a)), 0};
       },
       kHardwareFlags},
      {"trunc", HardwareTrunc, [](tBits a) { return SoftValue(trunc(ToSoft(a))); }, kNoInexact},
      {"floor", HardwareFloor, [](tBits a) { return SoftValue(floor(ToSoft(a))); }, kNoInexact},
      {"ceil", HardwareCeil, [](tBits a) { return SoftValue(ceil(ToSoft(a))); }, kNoInexact},
  };
  std::vector<std::map<std::string, int64_t>> coverages(ops.size());
  ForEachInParallel(ops.size(), [&](std::size_t k) {
    const tUnaryOp& op = ops[k];
    std::map<std::string, int64_t>& coverage = coverages[k];
    tRandom random(0x0bad5eed + std::strlen(op.name) * 7919 + static_cast<uint64_t>(op.name[0]));
    int64_t differences = 0;
    auto check = [&](tBits a) {
      tOutcome hardware = RunHardware([&] { return op.hardware(a); });
      tOutcome soft = RunSoft([&] { return op.soft(a); });
      hardware.flags &= op.flags_compared;
      soft.flags &= op.flags_compared;
      if (hardware.flags & FE_INVALID) ++coverage[std::string(op.name) + " invalid"];
      if (hardware.flags & FE_INEXACT) ++coverage[std::string(op.name) + " inexact"];
      if (hardware.flags & FE_UNDERFLOW) ++coverage[std::string(op.name) + " underflow"];
      if (hardware.flags & FE_OVERFLOW) ++coverage[std::string(op.name) + " overflow"];
      if (!(hardware == soft) && ++differences <= 5) {
        ADD_FAILURE() << op.name << " " << Show(a) << ": processor " << Show(hardware)
                      << ", software " << Show(soft);
      }
    };
    for (tBits a : specials)
      check(a);
    for (int64_t i = 0; i < values; ++i) {
      tBits a = DrawUnaryOperand(random, specials);
      if (std::strcmp(op.name, "from double") == 0) {
        // Any double, a special one, or a subnormal one.
        const uint64_t any = random.Next();
        const uint64_t kinds[] = {any, any | (uint64_t{0x7ff} << 52),
                                  any & ~(uint64_t{0x7ff} << 52)};
        a.sig = kinds[random.Below(3)];
      }
      check(a);
    }
    EXPECT_EQ(differences, 0) << op.name;
  });
  std::map<std::string, int64_t> coverage;
  for (const auto& c : coverages)
    for (const auto& [what, count] : c)
      coverage[what] += count;
  const int64_t enough = values / 1000;
  for (const char* what :
       {"sqrt invalid", "sqrt inexact", "to double invalid", "to double underflow",
        "to double overflow", "from double invalid", "llrint invalid", "llrint inexact",
        "to long long invalid", "to int invalid"})
    EXPECT_GE(coverage[what], enough) << what;
}

// The exact decimal of a finite long double in fixed point with
// `decimals` decimals (enough for the value: no rounding).
std::string ExactDecimal(long double x, int decimals) {
  std::vector<char> buffer(6000);
  const std::to_chars_result r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), x,
                                               std::chars_format::fixed, decimals);
  return std::string(buffer.data(), r.ptr);
}

// (a + b) / 2 of two non-negative decimals with the same number of
// decimals, one more decimal kept: the exact midpoint.
std::string DecimalMidpoint(std::string a, std::string b) {
  a += '0';
  b += '0';
  while (a.size() < b.size())
    a.insert(0, 1, '0');
  while (b.size() < a.size())
    b.insert(0, 1, '0');
  std::string sum(a.size() + 1, '0');
  int carry = 0;
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] == '.') {
      sum[i + 1] = '.';
      continue;
    }
    const int d = (a[i] - '0') + (b[i] - '0') + carry;
    sum[i + 1] = static_cast<char>('0' + d % 10);
    carry = d / 10;
  }
  sum[0] = static_cast<char>('0' + carry);
  std::string half;
  int rest = 0;
  for (char c : sum) {
    if (c == '.') {
      half += '.';
      continue;
    }
    const int d = rest * 10 + (c - '0');
    half += static_cast<char>('0' + d / 2);
    rest = d % 2;
  }
  return half;
}

TEST(SoftExtended, TextAsTheCLibraryWritesAndReadsIt) {
  // (Each text takes a few microseconds: a twentieth of the pairs, at most
  // a million.)
  const int64_t values = std::clamp<int64_t>(PairsPerOperation() / 20, 2000, 1000000);
  const std::vector<tBits> specials = SpecialValues();
  tRandom random(0x7e47);
  int64_t differences = 0;
  std::vector<char> buffer(6000);
  const std::chars_format formats[] = {std::chars_format::fixed, std::chars_format::scientific,
                                       std::chars_format::general};
  const soft_extended::tFormat soft_formats[] = {soft_extended::tFormat::kFixed,
                                                 soft_extended::tFormat::kScientific,
                                                 soft_extended::tFormat::kGeneral};
  auto check_write = [&](tBits a, int f, int precision) {
    // A pseudo-denormal (never the result of an operation) is printed by
    // the C library as if its integer bit were a bit of the fraction.
    if ((a.se & 0x7fff) == 0 && (a.sig >> 63) != 0) return;
    const long double x = ToHardware(a);
    const std::to_chars_result r =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), x, formats[f], precision);
    const std::string expected(buffer.data(), r.ptr);
    const std::string got = soft_extended::ToText(ToSoft(a), soft_formats[f], precision);
    if (got != expected && ++differences <= 5)
      ADD_FAILURE() << Show(a) << " format " << f << "." << precision << ": " << expected
                    << " against " << got;
  };
  int64_t ties = 0;
  auto check_read = [&](const std::string& text) {
    char* stop = nullptr;
    errno = 0;
    const long double expected = std::strtold(text.c_str(), &stop);
    const bool expected_range = errno == ERANGE && std::isinf(expected);
    std::size_t end = 0;
    bool out_of_range = false;
    const tSoftExtended got = soft_extended::FromText(text, end, out_of_range);
    const bool same = FromHardware(expected) == FromSoft(got) &&
                      end == static_cast<std::size_t>(stop - text.c_str()) &&
                      (expected_range == (out_of_range && got.IsInf()));
    if (!same && ++differences <= 5)
      ADD_FAILURE() << "\"" << text << "\": " << Show(FromHardware(expected)) << " against "
                    << Show(FromSoft(got));
  };
  for (tBits a : specials)
    for (int f = 0; f < 3; ++f)
      for (int precision : {0, 1, 5, 6, 12, 20})
        check_write(a, f, precision);
  for (int64_t i = 0; i < values; ++i) {
    tBits a = DrawUnaryOperand(random, specials);
    const int f = static_cast<int>(random.Below(3));
    // Fixed point of a large value has thousands of digits: fewer of them.
    const int e = a.se & 0x7fff;
    if (f == 0 && e > 0x3fff + 300 && e != 0x7fff && random.Below(16) != 0) continue;
    const int precisions[] = {12, 20, 5, 6, static_cast<int>(random.Below(30))};
    const int precision = precisions[random.Below(5)];
    check_write(a, f, precision);
    // Read back what was written, and the exact midpoint between a value
    // and its neighbour above (a tie for the reading), and just off it.
    const long double x = std::fabs(ToHardware(a));
    if (std::isfinite(x)) {
      std::to_chars_result r = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                             ToHardware(a), formats[f], precision);
      check_read(std::string(buffer.data(), r.ptr));
      if (x != 0 && x < 0x1p80L && x > 0x1p-80L) {
        const long double above = std::nextafter(x, std::numeric_limits<long double>::infinity());
        const std::string mid = DecimalMidpoint(ExactDecimal(x, 160), ExactDecimal(above, 160));
        check_read(mid);
        check_read(mid + "000001");
        check_read(mid.substr(0, mid.size() - 1) + static_cast<char>(mid.back() - 1) + "9999");
        ++ties;
      }
    }
  }
  // Texts as a person writes them: signs, points, exponents, the edges of
  // the range, too long, and junk after the number.  (Hexadecimal numbers,
  // which strtold also reads, are not decimal numbers to the program.)
  for (const char* text : {"0",
                           "-0",
                           "+1.5",
                           ".5",
                           "5.",
                           "1e4932",
                           "1.18973149535723176502e+4932",
                           "1.2e4932",
                           "1e-4951",
                           "3.6e-4951",
                           "3.7e-4951",
                           "1e-4960",
                           "1e99999",
                           "-1e99999",
                           "1e-99999",
                           "inf",
                           "-Infinity",
                           "nan",
                           "1.5x",
                           "1e",
                           "1e+",
                           "-",
                           ".",
                           "0.000000000000000000000000000000000000001234",
                           "123456789012345678901234567890123456789012345678901234567890",
                           " 7",
                           "12e-3,4"})
    check_read(text);
  for (int i = 0; i < 2000; ++i) {
    std::string digits;
    for (int k = random.Between(1, 40); k > 0; --k)
      digits += static_cast<char>('0' + random.Below(10));
    const int point = random.Between(0, static_cast<int>(digits.size()));
    digits.insert(static_cast<std::size_t>(point), 1, '.');
    const int exponents[] = {random.Between(-30, 30), random.Between(4900, 4960),
                             random.Between(-4990, -4900)};
    check_read(digits + "e" + std::to_string(exponents[random.Below(3)]));
  }
  EXPECT_EQ(differences, 0);
  EXPECT_GE(ties, values / 20);
}

#else

TEST(SoftExtended, EveryOperandPairAsTheProcessorComputesIt) {
  GTEST_SKIP() << "no x87 to compare with";
}
TEST(SoftExtended, EveryOperandAsTheProcessorConvertsIt) {
  GTEST_SKIP() << "no x87 to compare with";
}
TEST(SoftExtended, TextAsTheCLibraryWritesAndReadsIt) {
  GTEST_SKIP() << "no x87 to compare with";
}

#endif

}  // namespace
