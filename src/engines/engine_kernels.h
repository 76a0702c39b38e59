// The inner loop of the engines, inlined: the uniform generator with its two
// state words held in locals, the normal, gamma and uniform variates, the
// standard normal distribution function, and the 2 x 2 matrix steps.
//
// Each routine performs exactly the operations, in exactly the order, of the
// library routine it stands for (UniformRandom, RandomValue, Cdf through
// IncompleteGammaP, MatrixMultiply, MatrixTranspose, MatrixInverse,
// Cholesky2x2), so every result is the same in every bit.  What is saved is
// only overhead: virtual dispatch, whole 20 x 20 copies, the global state
// words, and work that depends only on the run's constants (such as
// LogGamma(1/2)), which is done once per run instead of once per call.
#pragma once

#include <cmath>
#include <cstdint>

#include "numeric/distrib.h"

namespace engine_kernels {

// UniformRandom on a private copy of the state words.  Load() and Store()
// move the words from and to the library's RandomSeed1 and RandomSeed2.
struct tUniformStream {
  int32_t seed1 = kRandomSeed1Start;
  int32_t seed2 = kRandomSeed2Start;

  void Load() {
    seed1 = RandomSeed1;
    seed2 = RandomSeed2;
  }
  void Store() const {
    RandomSeed1 = seed1;
    RandomSeed2 = seed2;
  }

  long double Next() {
    int32_t k = seed1 / 53668;
    seed1 = 40014 * (seed1 - k * 53668) - k * 12211;
    if (seed1 < 0) seed1 += 2147483563;
    k = seed2 / 52774;
    seed2 = 40692 * (seed2 - k * 52774) - k * 3791;
    if (seed2 < 0) seed2 += 2147483399;
    int32_t z = seed1 - seed2;
    if (z < 1) z += 2147483562;
    return static_cast<long double>(z) * 4.656613e-10L;
  }
};

// tNormal_distribution::RandomValue: ratio of uniforms with squeezes.
struct tNormalSampler {
  long double mu = 0;
  long double sigma = 1;
  long double k = 0;  // sqrt(2/e)

  explicit tNormalSampler(const tNormal_distribution& d)
      : mu(d.Mean()), sigma(d.Sigma()), k(d.GeneratorConstant()) {}

  long double Draw(tUniformStream& uniform) const {
    long double x;
    while (true) {
      const long double u = uniform.Next();
      const long double v = uniform.Next();
      x = (2 * v - 1) * k / u;
      const long double s = x * x;
      if (s <= 2 * u * u - 8 * u + 6) break;  // quick acceptance
      if (s >= 2 / u - 2 * u) continue;       // quick rejection
      if (s > -4 * std::log(u)) continue;     // exact test
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
  long double alpha = 1;
  long double lambda = 1;
  long double c1 = 0;
  long double c2 = 0;
  long double c2_minus_c1 = 0;  // c2 - c1, formed as the draw forms it
  long double alpha_minus_1 = 0;

  explicit tGammaSampler(const tGamma_distribution& d)
      : alpha(d.Shape()), lambda(d.Rate()), c1(d.C1()), c2(d.C2()) {
    branch = alpha == 1 ? Exponential : alpha > 1 ? RatioOfUniforms : AhrensDieter;
    c2_minus_c1 = c2 - c1;
    alpha_minus_1 = alpha - 1;
  }

  long double Draw(tUniformStream& uniform) const {
    switch (branch) {
      case Exponential:
        return -std::log(uniform.Next()) / lambda;
      case RatioOfUniforms:
        return DrawAboveOne(uniform) / lambda;
      case AhrensDieter:
        break;
    }
    return DrawBelowOne(uniform) / lambda;
  }

 private:
  long double DrawAboveOne(tUniformStream& uniform) const {
    while (true) {
      const long double u = uniform.Next();
      const long double v = uniform.Next() * c2_minus_c1 + c1;
      const long double x = v / u;
      const long double y = x + alpha - 1;
      const long double s = x * x;
      const long double q = -2 * u * u + 8 * u - 6;
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
      if (2 * std::log(u) + x > alpha_minus_1 * std::log(x / alpha_minus_1 + 1)) continue;
      return y;
    }
  }

  long double DrawBelowOne(tUniformStream& uniform) const {
    while (true) {
      const long double u1 = uniform.Next();
      const long double p = c1 * u1;
      const long double u2 = uniform.Next();
      if (p <= 1) {
        const long double x = RealPower(p, c2);
        if (std::log(u2) <= -x) return x;
      } else {
        const long double x = -std::log((c1 - p) * c2);
        if (u2 <= RealPower(x, alpha_minus_1)) return x;
      }
    }
  }
};

// The Cdf of the standard normal N(0, 1): 0.5 +- 0.5 P(1/2, z^2/2) by
// IncompleteGammaP, with LogGamma(1/2) taken from the run's constants.
struct tStandardNormalCdf {
  long double log_gamma_half = LogGamma(0.5L);

  // `z` must not be a NaN (the caller tests it: a NaN would never meet the
  // continued fraction's stopping test).
  long double operator()(long double z) const {
    if (!(-Unbounded <= z && z <= Unbounded)) return z < -Unbounded ? 0 : 1;
    const long double x = z * z / 2;
    long double p;
    if (x < 1.5L) {
      p = Series(x);
    } else {
      if (x > Unbounded) [[unlikely]]
        return IncompleteGammaP(x, 0.5L);  // raises the library's argument error
      p = 1 - ContinuedFraction(x);
    }
    if (z >= 0) return 0.5L + 0.5L * p;
    return 0.5L - 0.5L * p;
  }

 private:
  // GammaSeries(x, 1/2).
  long double Series(long double x) const {
    if (std::fabs(0 - x) < kTolerance) return 0;
    long double term = 1 / 0.5L;
    long double sum = term;
    long double d = 0.5L;
    int n = 1;
    do {
      d = d + 1;
      term = term * x / d;
      sum = sum + term;
      n = n + 1;
    } while (!(std::fabs(term) < std::fabs(sum) * kTolerance || n > 100));
    return std::exp(0.5L * std::log(x) - x - log_gamma_half) * sum;
  }

  // GammaContinuedFraction(x, 1/2), for 1.5 <= x <= 2147483647: it always
  // converges there.
  long double ContinuedFraction(long double x) const {
    long double g = 0, g_old = 1, a0 = 1, a1 = x, b0 = 0, b1 = 1, f = 1;
    long double n = 1;
    do {
      const long double d = n - 0.5L;
      a0 = (a1 + a0 * d) * f;
      b0 = (b1 + b0 * d) * f;
      const long double e = n * f;
      a1 = x * a0 + e * a1;
      b1 = x * b0 + e * b1;
      if (a1 != 0) {
        g_old = g;
        f = 1 / a1;
        g = b1 * f;
      }
      n = n + 1;
    } while (!(std::fabs((g - g_old) / g) < kTolerance));
    return std::exp(0.5L * std::log(x) - x - log_gamma_half) * g;
  }
};

// The leading 2 x 2 block of a Matrix20.
struct tMatrix2 {
  long double a11 = 0, a12 = 0, a21 = 0, a22 = 0;
};

// MatrixMultiply with n = 2: each entry an accumulator from 0, k ascending.
inline tMatrix2 Multiply(const tMatrix2& a, const tMatrix2& b) {
  tMatrix2 c;
  long double s = 0;
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
// one; false (R untouched) when that is exactly 0.
inline bool Inverse(const tMatrix2& a, tMatrix2& result) {
  long double w11 = a.a11, w12 = a.a12, w21 = a.a21, w22 = a.a22;
  long double r11 = 1, r12 = 0, r21 = 0, r22 = 1;
  // Column 1.
  bool swap;
  if (std::fabs(w11) >= 1e-10L) {
    swap = false;
  } else if (std::fabs(w21) >= 1e-10L) {
    swap = true;
  } else {
    swap = std::fabs(w21) > std::fabs(w11);
    if ((swap ? w21 : w11) == 0) return false;
  }
  if (swap) {
    long double x = w11;
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
  long double t = 1 / w11;
  w11 = w11 * t;
  w12 = w12 * t;
  r11 = r11 * t;
  r12 = r12 * t;
  long double f = -w21;
  w21 = f * w11 + w21;
  w22 = f * w12 + w22;
  r21 = f * r11 + r21;
  r22 = f * r12 + r22;
  // Column 2: the only candidate is row 2.
  if (w22 == 0) return false;
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
  l.a11 = std::sqrt(a.a11);
  l.a12 = 0;
  l.a21 = a.a21 / l.a11;
  l.a22 = std::sqrt(a.a22 - l.a21 * l.a21);
  return l;
}

}  // namespace engine_kernels
