// The inner loops of the numeric library, inlined, and shared by the
// library's own routines and the engines, so that both run the same code:
// the uniform generator with its two state words held privately, the
// normal and gamma variates (RandomValue), the series of the incomplete
// gamma function (GammaSeries) and the function of shape 1/2 behind the
// normal distribution function (IncompleteGammaP, Cdf), the 2 x 2 matrix steps (MatrixMultiply,
// MatrixTranspose, MatrixInverse), and the selection of two order statistics.
//
// Each routine gives exactly the numbers of the plain formula, in every
// bit: the same operations in the same order.  What is saved is overhead:
// virtual dispatch, whole 20 x 20 copies, the global state words, work that
// depends only on the run's constants (such as LogGamma(1/2)), which is
// done once, and a few extended logarithms whose only use is a comparison
// that a cheaper computation settles with certainty (each such place says
// why).
//
// Methods:
// - the generator: two multiplicative congruential generators combined by
//   subtraction, P. L'Ecuyer, "Efficient and portable combined random
//   number generators", Comm. ACM 31 (1988) 742-751;
// - the normal variate: the ratio of uniforms, A. J. Kinderman and
//   J. F. Monahan, "Computer generation of random variables using the ratio
//   of uniform deviates", ACM Trans. Math. Software 3 (1977) 257-260, with
//   the quick tests from the bounds 4(1 - u) + 2(1 - u)^2 <= -4 ln u <=
//   2/u - 2u;
// - the gamma variate of shape above 1: the same ratio of uniforms about
//   the mode, the rectangle bounded by the extremes of x sqrt(f(x + mode))
//   (L. Devroye, Non-Uniform Random Variate Generation, Springer 1986,
//   section IV.7);
// - the gamma variate of shape below 1: J. H. Ahrens and U. Dieter,
//   "Computer methods for sampling from gamma, beta, Poisson and binomial
//   distributions", Computing 12 (1974) 223-246, algorithm GS;
// - the incomplete gamma function: its series and its continued fraction
//   (evaluated by the two-term recurrence with rescaling), W. H. Press et
//   al., Numerical Recipes, Cambridge University Press 1986, section 6.2.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "numeric/distrib.h"
#include "numeric/extended_math.h"
#include "numeric/real.h"

namespace kernels {

// The acceptance tests of the variate generators use a logarithm only to
// compare it with another number, never as a result.  They are decided from
// the double-precision logarithm, whose error (with that of rounding the
// argument to double) stays below 2^-45 (1 + |ln t|), where the extended
// logarithm cannot fall on the other side: outside a band of 2^-40 times the
// size of the terms.  Only inside that band, which practically never
// happens, is the extended logarithm computed; either way the outcome is the
// one the extended logarithm gives.
inline constexpr tReal kLogMargin = 0x1p-40L;

// s > -4 ln u, for 0 < u < 1.
inline bool ExceedsMinus4LogU(tReal s, tReal u) {
  const tReal approximate = -4 * static_cast<tReal>(std::log(static_cast<double>(u)));
  const tReal margin = kLogMargin * (1 + approximate);
  if (s > approximate + margin) return true;
  if (s < approximate - margin) return false;
  return s > -4 * ExtendedLog(u);
}

// |(g - g_old) / g| < 5e-12, the continued fraction's stopping test, for
// 2^-1000 <= g <= 2^1000.  Where the quotient is certain to lie clearly on
// one side of the tolerance (by more than 2^-46 of it, while a rounding is
// worth 2^-64), a multiplication decides; otherwise the quotient is formed
// as written.  (The constants are doubles so that loading them is cheap.)
inline constexpr double kToleranceBelow = 5e-12 * (1 - 0x1p-45);
inline constexpr double kToleranceAbove = 5e-12 * (1 + 0x1p-45);
// (5e-12L is kTolerance, written out: a constant expression with either
// real type.)
static_assert(kToleranceBelow < 5e-12L * (1 - 0x1p-46L));
static_assert(kToleranceAbove > 5e-12L * (1 + 0x1p-46L));

inline bool ContinuedFractionConverged(tReal g, tReal g_old) {
  const tReal difference = g - g_old;
  const tReal distance = real_math::fabs(difference);
  if (distance < g * kToleranceBelow) return true;
  if (distance > g * kToleranceAbove) return false;
  return real_math::fabs(difference / g) < kTolerance;
}

// The loop of GammaContinuedFraction(x, 1/2) for 1.5 <= x <= 2147483647:
// true with its g (before the factor exp(a ln x - x - ln Gamma(a))), or
// false where it gives up and the library's routine must do the whole
// evaluation as written: an A1 of 0 (for a = 1/2 and x > 0 every A1 is
// positive) or a g outside [2^-1000, 2^1000] (g stays near Q(1/2, x) e^x
// x^-1/2, never far from 1).  The count n is kept as an integer and g_old
// only within a step, which leaves the extended registers to the
// recurrence.
inline bool ContinuedFractionHalfSteps(tReal x, tReal& result) {
  tReal g = 0, a0 = 1, a1 = x, b0 = 0, b1 = 1, f = 1;
  int32_t n = 1;
  while (true) {
    const tReal nn = n;
    const tReal d = nn - 0.5L;
    a0 = (a1 + a0 * d) * f;
    b0 = (b1 + b0 * d) * f;
    const tReal e = nn * f;
    a1 = x * a0 + e * a1;
    b1 = x * b0 + e * b1;
    if (a1 == 0) [[unlikely]]
      return false;
    const tReal g_old = g;
    f = 1 / a1;
    g = b1 * f;
    n = n + 1;
    if (!(g >= 0x1p-1000L && g <= 0x1p1000L)) [[unlikely]]
      return false;
    if (ContinuedFractionConverged(g, g_old)) break;
  }
  result = g;
  return true;
}

// UniformRandom on a private copy of the state words, a buffer at a time.
// Each word follows s <- a s mod m exactly (a = 40014, m = 2147483563 and
// a = 40692, m = 2147483399), which the library forms by splitting the
// modulus; here the products are formed in 64 bits, four positions apart at
// once (s <- a^4 s mod m), so that filling the buffer does not wait on one
// long chain of dependent multiplications.  The sequence of uniforms is the
// same.  Load() and Store() move the state from and to the library's
// RandomSeed1 and RandomSeed2.
//
// The stream also counts its position, the uniforms handed out since the
// state it was set to, and can be set to any later position directly: the
// state k places on is a^k s mod m, a power formed by repeated squaring in
// O(log k) products.
class tUniformStream {
 public:
  tUniformStream() { SetState(kRandomSeed1Start, kRandomSeed2Start); }

  // The state after the last uniform handed out; that is position 0.
  void SetState(int32_t seed1, int32_t seed2) {
    origin1_ = base1_ = next1_ = seed1;
    origin2_ = base2_ = next2_ = seed2;
    base_position_ = -kBuffer;
    used_ = kBuffer;
  }
  void Load() { SetState(RandomSeed1, RandomSeed2); }
  void Store() const { State(RandomSeed1, RandomSeed2); }

  // The state words after the last uniform handed out.
  void State(int32_t& seed1, int32_t& seed2) const {
    int64_t s1 = base1_, s2 = base2_;
    if (used_ == kBuffer) {
      s1 = next1_;
      s2 = next2_;
    } else {
      for (int i = 0; i < used_; ++i) {
        s1 = kA1 * s1 % kM1;
        s2 = kA2 * s2 % kM2;
      }
    }
    seed1 = static_cast<int32_t>(s1);
    seed2 = static_cast<int32_t>(s2);
  }

  // Uniforms handed out since the last SetState (or Load).
  int64_t Position() const { return base_position_ + used_; }

  // Continues as if `position` uniforms had been handed out since the last
  // SetState.
  void Seek(int64_t position) {
    base1_ = next1_ = static_cast<int32_t>(PowerMod(kA1, position, kM1) * origin1_ % kM1);
    base2_ = next2_ = static_cast<int32_t>(PowerMod(kA2, position, kM2) * origin2_ % kM2);
    base_position_ = position - kBuffer;
    used_ = kBuffer;
  }

  tReal Next() {
    if (used_ == kBuffer) [[unlikely]]
      Refill();
    return static_cast<tReal>(z_[used_++]) * 4.656613e-10L;
  }

 private:
  static constexpr int kBuffer = 256;
  static constexpr int kLanes = 4;
  static constexpr int64_t kM1 = 2147483563, kA1 = 40014;
  static constexpr int64_t kM2 = 2147483399, kA2 = 40692;
  static constexpr int64_t kA1Lanes = kA1 * kA1 % kM1 * kA1 % kM1 * kA1 % kM1;  // a^4 mod m
  static constexpr int64_t kA2Lanes = kA2 * kA2 % kM2 * kA2 % kM2 * kA2 % kM2;
  static_assert(kLanes == 4);

  // a^k mod m (both factors of every product below 2^31).
  static int64_t PowerMod(int64_t a, int64_t k, int64_t m) {
    int64_t result = 1;
    while (k > 0) {
      if (k & 1) result = result * a % m;
      a = a * a % m;
      k >>= 1;
    }
    return result;
  }

  void Refill() {
    base1_ = next1_;
    base2_ = next2_;
    base_position_ += kBuffer;
    int64_t s1[kLanes], s2[kLanes];
    int64_t t1 = base1_, t2 = base2_;
    for (int l = 0; l < kLanes; ++l) {
      s1[l] = t1 = kA1 * t1 % kM1;
      s2[l] = t2 = kA2 * t2 % kM2;
    }
    for (int i = 0; i < kBuffer; i += kLanes) {
      for (int l = 0; l < kLanes; ++l) {
        int32_t z = static_cast<int32_t>(s1[l] - s2[l]);
        if (z < 1) z += 2147483562;
        z_[i + l] = z;
      }
      next1_ = static_cast<int32_t>(s1[kLanes - 1]);
      next2_ = static_cast<int32_t>(s2[kLanes - 1]);
      for (int l = 0; l < kLanes; ++l) {
        s1[l] = kA1Lanes * s1[l] % kM1;
        s2[l] = kA2Lanes * s2[l] % kM2;
      }
    }
    used_ = 0;
  }

  int32_t origin1_, origin2_;  // the state at position 0
  int32_t base1_, base2_;      // the state before z_[0]
  int32_t next1_, next2_;      // the state after the last entry of the buffer
  int64_t base_position_;      // the position of z_[0]
  int used_;                   // entries of the buffer handed out
  int32_t z_[kBuffer];
};

// The library's own stream: UniformRandom on the process-wide state words.
struct tLibraryUniform {
  tReal Next() const { return UniformRandom(); }
};

// tNormal_distribution::RandomValue: ratio of uniforms with squeezes.
struct tNormalSampler {
  tReal mu = 0;
  tReal sigma = 1;
  tReal k = 0;  // sqrt(2/e)

  tNormalSampler(tReal mean, tReal sd, tReal constant) : mu(mean), sigma(sd), k(constant) {}
  explicit tNormalSampler(const tNormal_distribution& d)
      : tNormalSampler(d.Mean(), d.Sigma(), d.GeneratorConstant()) {}

  template <typename tStream>
  tReal Draw(tStream& uniform) const {
    tReal x;
    while (true) {
      const tReal u = uniform.Next();
      const tReal v = uniform.Next();
      x = (2 * v - 1) * k / u;
      const tReal s = x * x;
      if (s <= 2 * u * u - 8 * u + 6) break;  // quick acceptance
      if (s >= 2 / u - 2 * u) continue;       // quick rejection
      if (ExceedsMinus4LogU(s, u)) continue;  // exact test: s > -4 ln u
      break;
    }
    return sigma * x + mu;
  }
};

// tGamma_distribution::RandomValue (and so the chi-square's): one of three
// generators chosen by the shape, the result divided by the rate.
struct tGammaSampler {
  enum tBranch { Exponential, RatioOfUniforms, AhrensDieter };
  tBranch branch = Exponential;
  tReal alpha = 1;
  tReal lambda = 1;
  tReal c1 = 0;
  tReal c2 = 0;
  tReal c2_minus_c1 = 0;  // c2 - c1, formed as the draw forms it
  tReal alpha_minus_1 = 0;

  tGammaSampler(tReal shape, tReal rate, tReal bound1, tReal bound2)
      : alpha(shape), lambda(rate), c1(bound1), c2(bound2) {
    branch = alpha == 1 ? Exponential : alpha > 1 ? RatioOfUniforms : AhrensDieter;
    c2_minus_c1 = c2 - c1;
    alpha_minus_1 = alpha - 1;
  }
  explicit tGammaSampler(const tGamma_distribution& d)
      : tGammaSampler(d.Shape(), d.Rate(), d.C1(), d.C2()) {}

  template <typename tStream>
  tReal Draw(tStream& uniform) const {
    switch (branch) {
      case Exponential:
        return -ExtendedLog(uniform.Next()) / lambda;
      case RatioOfUniforms:
        return DrawAboveOne(uniform) / lambda;
      case AhrensDieter:
        break;
    }
    return DrawBelowOne(uniform) / lambda;
  }

 private:
  // The exact test of the ratio of uniforms, 2 ln u + x > (alpha - 1) ln(x/(alpha - 1) + 1),
  // decided as ExceedsMinus4LogU decides its test.
  bool ExactTestRejects(tReal u, tReal x) const {
    const tReal w = x / alpha_minus_1 + 1;
    const tReal log_u = std::log(static_cast<double>(u));
    const tReal log_w = std::log(static_cast<double>(w));
    const tReal left = 2 * log_u + x;
    const tReal right = alpha_minus_1 * log_w;
    const tReal margin = kLogMargin * (1 + real_math::fabs(2 * log_u) + real_math::fabs(x) +
                                       alpha_minus_1 * (1 + real_math::fabs(log_w)));
    const tReal difference = left - right;
    if (difference > margin) return true;
    if (difference < -margin) return false;
    return 2 * ExtendedLog(u) + x > alpha_minus_1 * ExtendedLog(w);
  }

  template <typename tStream>
  tReal DrawAboveOne(tStream& uniform) const {
    while (true) {
      const tReal u = uniform.Next();
      const tReal v = uniform.Next() * c2_minus_c1 + c1;
      const tReal x = v / u;
      const tReal y = x + alpha - 1;
      const tReal s = x * x;
      const tReal q = -2 * u * u + 8 * u - 6;
      bool accept, reject;
      if (x >= 0) {
        accept = -s * (x + y) >= y * y * q;
        reject = !accept && -u * s <= y * (2 * u * u - 2);
      } else {
        accept = -s >= y * q;
        reject = !accept && -u * s <= (2 * u * u - 2) * alpha_minus_1;
      }
      if (accept) return y;
      if (reject) continue;
      if (y <= 0) continue;
      if (ExactTestRejects(u, x)) continue;
      return y;
    }
  }

  template <typename tStream>
  tReal DrawBelowOne(tStream& uniform) const {
    while (true) {
      const tReal u1 = uniform.Next();
      const tReal p = c1 * u1;
      const tReal u2 = uniform.Next();
      if (p <= 1) {
        const tReal x = RealPower(p, c2);
        if (ExtendedLog(u2) <= -x) return x;
      } else {
        const tReal x = -ExtendedLog((c1 - p) * c2);
        if (u2 <= RealPower(x, alpha_minus_1)) return x;
      }
    }
  }
};

// GammaSeries(x, a), the series of P(a, x), with ln Gamma(a) from
// `log_gamma(a)`, called only when x is not within the tolerance of 0: the
// library's routine passes LogGamma, the normal distribution function its
// LogGamma(1/2) taken once.
template <typename tLogGamma>
inline tReal GammaSeriesWith(tReal x, tReal a, tLogGamma log_gamma) {
  if (real_math::fabs(x - 0) < kTolerance) return 0;
  tReal term = 1 / a;
  tReal sum = term;
  tReal d = a;
  int n = 1;
  do {
    d = d + 1;
    term = term * x / d;
    sum = sum + term;
    n = n + 1;
  } while (!(real_math::fabs(term) < real_math::fabs(sum) * kTolerance || n > 100));
  return ExtendedExp(a * ExtendedLog(x) - x - log_gamma(a)) * sum;
}

// GammaContinuedFraction(x, 1/2), for 1.5 <= x <= 2147483647.
inline tReal HalfShapeContinuedFraction(tReal x, tReal log_gamma_half) {
  tReal g;
  const bool done = ContinuedFractionHalfSteps(x, g);
  if (!done) [[unlikely]]
    return GammaContinuedFraction(x, 0.5L);
  return ExtendedExp(0.5L * ExtendedLog(x) - x - log_gamma_half) * g;
}

// IncompleteGammaP(x, 1/2) for 0 <= x <= 2147483647 (the arguments checked).
inline tReal HalfShapeP(tReal x, tReal log_gamma_half) {
  if (x < 1.5L) return GammaSeriesWith(x, 0.5L, [=](tReal) { return log_gamma_half; });
  return 1 - HalfShapeContinuedFraction(x, log_gamma_half);
}

// The Cdf of the standard normal N(0, 1): 0.5 +- 0.5 P(1/2, z^2/2) by
// IncompleteGammaP, with LogGamma(1/2) taken once.
struct tStandardNormalCdf {
  tReal log_gamma_half = LogGamma(0.5L);

  // `z` must not be a NaN (the caller tests it: a NaN would never meet the
  // continued fraction's stopping test).
  tReal operator()(tReal z) const {
    if (!(-Unbounded <= z && z <= Unbounded)) return z < -Unbounded ? 0 : 1;
    const tReal x = z * z / 2;
    if (x > Unbounded) [[unlikely]]
      return IncompleteGammaP(x, 0.5L);  // raises the library's argument error
    const tReal p = HalfShapeP(x, log_gamma_half);
    if (z >= 0) return 0.5L + 0.5L * p;
    return 0.5L - 0.5L * p;
  }
};

// The leading 2 x 2 block of a Matrix20.
struct tMatrix2 {
  tReal a11 = 0, a12 = 0, a21 = 0, a22 = 0;
};

// MatrixMultiply with n = 2: each entry an accumulator from 0, k ascending.
inline tMatrix2 Multiply(const tMatrix2& a, const tMatrix2& b) {
  tMatrix2 c;
  tReal s = 0;
  s = s + a.a11 * b.a11;
  c.a11 = s + a.a12 * b.a21;
  s = 0;
  s = s + a.a11 * b.a12;
  c.a12 = s + a.a12 * b.a22;
  s = 0;
  s = s + a.a21 * b.a11;
  c.a21 = s + a.a22 * b.a21;
  s = 0;
  s = s + a.a21 * b.a12;
  c.a22 = s + a.a22 * b.a22;
  return c;
}

inline tMatrix2 Transpose(const tMatrix2& a) {
  return {a.a11, a.a21, a.a12, a.a22};
}

// MatrixInverse with n = 2: Gauss-Jordan on a working copy, the first pivot
// of magnitude at least 1e-10 at or below the diagonal, otherwise the largest
// one; false (R untouched) when that is 0 or NaN.
inline bool Inverse(const tMatrix2& a, tMatrix2& result) {
  tReal w11 = a.a11, w12 = a.a12, w21 = a.a21, w22 = a.a22;
  tReal r11 = 1, r12 = 0, r21 = 0, r22 = 1;
  // Column 1.
  bool swap;
  if (real_math::fabs(w11) >= 1e-10L) {
    swap = false;
  } else if (real_math::fabs(w21) >= 1e-10L) {
    swap = true;
  } else {
    swap = real_math::fabs(w21) > real_math::fabs(w11);
    // Not "== 0": a column of NaNs is no pivot either.
    if (!(real_math::fabs(swap ? w21 : w11) > 0)) return false;
  }
  if (swap) {
    tReal x = w11;
    w11 = w21;
    w21 = x;
    x = w12;
    w12 = w22;
    w22 = x;
    x = r11;
    r11 = r21;
    r21 = x;
    x = r12;
    r12 = r22;
    r22 = x;
  }
  tReal t = 1 / w11;
  w11 = w11 * t;
  w12 = w12 * t;
  r11 = r11 * t;
  r12 = r12 * t;
  tReal f = -w21;
  w21 = f * w11 + w21;
  w22 = f * w12 + w22;
  r21 = f * r11 + r21;
  r22 = f * r12 + r22;
  // Column 2: the only candidate is row 2.
  if (!(real_math::fabs(w22) > 0)) return false;
  t = 1 / w22;
  w21 = w21 * t;
  w22 = w22 * t;
  r21 = r21 * t;
  r22 = r22 * t;
  f = -w12;
  r11 = f * r21 + r11;
  r12 = f * r22 + r12;
  result = {r11, r12, r21, r22};
  return true;
}

// Cholesky2x2: reads a11, a21 and a22 only.
inline tMatrix2 Cholesky(const tMatrix2& a) {
  tMatrix2 l;
  l.a11 = real_math::sqrt(a.a11);
  l.a12 = 0;
  l.a21 = a.a21 / l.a11;
  l.a22 = real_math::sqrt(a.a22 - l.a21 * l.a21);
  return l;
}

// The values that an ascending sort of x[0 .. n-1] would put at the 1-based
// positions lo and hi (1 <= lo, hi <= n); x is reordered.  Only these two
// order statistics are ever read, so they are selected instead: a sorted
// sample of every (n/8192)-th value brackets each of them by two values,
// one pass counts the values below each bracket and gathers those within
// it, and the wanted value is selected among the gathered few.  Should a
// bracket miss (the count shows it), the whole array is selected from, so
// the result is always exact.  x holds no NaN.
inline void SelectOrderStatistics(double* x, int32_t n, int32_t lo, int32_t hi, double& at_lo,
                                  double& at_hi) {
  auto select_all = [&](int32_t k) {
    std::nth_element(x, x + (k - 1), x + n);
    return x[k - 1];
  };
  constexpr int32_t kSample = 8192;
  if (n < 8 * kSample) {
    at_lo = select_all(lo);
    at_hi = select_all(hi);
    return;
  }
  const int32_t step = n / kSample;
  std::vector<double> sample(kSample);
  for (int32_t j = 0; j < kSample; ++j)
    sample[j] = x[static_cast<int64_t>(j) * step];
  std::sort(sample.begin(), sample.end());

  struct tBracket {
    int32_t rank = 0;
    double low = 0, high = 0;
    int64_t below = 0;
    std::vector<double> inside;
  };
  auto bracket = [&](int32_t rank) {
    const double position = static_cast<double>(rank) * kSample / n;
    const int32_t margin = static_cast<int32_t>(4 * real_math::sqrt(position) + 16);
    const int32_t first = static_cast<int32_t>(position) - margin;
    const int32_t last = static_cast<int32_t>(position) + margin;
    tBracket b;
    b.rank = rank;
    b.low = first <= 0 ? -std::numeric_limits<double>::infinity() : sample[first];
    b.high = last >= kSample - 1 ? std::numeric_limits<double>::infinity() : sample[last];
    b.inside.reserve(static_cast<size_t>(4 * margin + 8) * step);
    return b;
  };
  tBracket a = bracket(lo), b = bracket(hi);
  for (int32_t i = 0; i < n; ++i) {
    const double v = x[i];
    if (v < a.low) {
      ++a.below;
    } else if (v <= a.high) {
      a.inside.push_back(v);
    }
    if (v < b.low) {
      ++b.below;
    } else if (v <= b.high) {
      b.inside.push_back(v);
    }
  }
  auto value = [&](tBracket& t) {
    const int64_t k = t.rank - t.below;  // the wanted one's rank among the gathered
    if (k < 1 || k > static_cast<int64_t>(t.inside.size())) return select_all(t.rank);
    std::nth_element(t.inside.begin(), t.inside.begin() + (k - 1), t.inside.end());
    return t.inside[k - 1];
  };
  at_lo = value(a);
  at_hi = value(b);
}

}  // namespace kernels
