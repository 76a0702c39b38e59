// The process-wide uniform generator, the numeric helpers, and the family of
// probability distributions whose variates the Bayesian engines draw.
//
// Every real quantity is tReal (80-bit extended) and every formula is
// evaluated left to right exactly as written beside it, so that the numbers
// are the same in every digit from run to run and from build to build.
#pragma once

#include <cstdint>
#include <string>

#include "numeric/errors.h"
#include "numeric/float_faults.h"
#include "numeric/real.h"

// ---------------------------------------------------------------------------
// Constants

// Stands for +infinity (and its negative for -infinity) in every bound and
// support of this library: 2^31 - 1.
inline constexpr tReal Unbounded = 2147483647.0L;

// Tolerance of NearlyEqual, of the incomplete-gamma evaluations and of the
// quantile search.
inline constexpr tReal kTolerance = 5e-12L;

// Start values of the generator's two state words.
inline constexpr int32_t kRandomSeed1Start = 897183450;   // 0x3579EEDA
inline constexpr int32_t kRandomSeed2Start = 1841323562;  // 0x6DC05E2A

// ---------------------------------------------------------------------------
// Uniform generator: two multiplicative congruential generators (moduli
// 2147483563 and 2147483399) combined by subtraction.  The state words stay
// in 1 ... modulus - 1.

extern int32_t RandomSeed1;
extern int32_t RandomSeed2;

// A uniform variate in [4.656613e-10, 0.99999998720955...]: never 0 and never
// 1.  Both products are formed without overflow by splitting the modulus
// (Schrage's method) in signed 32-bit arithmetic.
inline tReal UniformRandom() {
  int32_t k = RandomSeed1 / 53668;
  RandomSeed1 = 40014 * (RandomSeed1 - k * 53668) - k * 12211;
  if (RandomSeed1 < 0) RandomSeed1 += 2147483563;
  k = RandomSeed2 / 52774;
  RandomSeed2 = 40692 * (RandomSeed2 - k * 52774) - k * 3791;
  if (RandomSeed2 < 0) RandomSeed2 += 2147483399;
  int32_t z = RandomSeed1 - RandomSeed2;
  if (z < 1) z += 2147483562;
  // The scale is the extended value nearest 4.656613e-10, not 1/2147483563.
  return static_cast<tReal>(z) * 4.656613e-10L;
}

// Puts both state words back to their start values.
inline void ResetUniformRandom() {
  RandomSeed1 = kRandomSeed1Start;
  RandomSeed2 = kRandomSeed2Start;
}

// ---------------------------------------------------------------------------
// Helpers

// |b - a| < 5e-12.
bool NearlyEqual(tReal a, tReal b);

// |x| < 2147483647 and x is within the tolerance of the nearest integer.
bool IsWholeNumber(tReal x);

// x with at least one integer digit and up to twelve decimals, trailing zeros
// dropped, no thousands separator, `decimal_separator` before the decimals.
std::string FormatLimit(tReal x, char decimal_separator);

// The text of an argument-error message id (1301 ... 1315, 1361, 1363); an
// empty text for an unknown id.
std::string ArgumentMessageText(int id);

// The message of `error` with its limit written with `decimal_separator`.
// The library's own message writes it with '.'.
std::string ArgumentErrorMessage(const EArgumentError& error, char decimal_separator);

// Raises EArgumentError with the text of `id` when the condition holds;
// otherwise returns true.
bool RaiseIf(bool condition, int id);

// Applies the rule of `id` to value and limit (1301/1305/1309: above the
// limit; 1302/1306/1310: at least the limit; 1303/1307/1311: below the
// limit; 1315: at most the limit; other ids: no rule).  A violation raises
// EArgumentError with the id's text followed by FormatLimit(limit, '.'),
// and the limit.  A NaN
// value never satisfies a rule.  Otherwise returns true.
bool CheckBound(int id, tReal value, tReal limit);

// base^n by square-and-multiply from the least significant bit.  An
// infinite or NaN result raises the floating-point error.
tReal IntegerPower(tReal base, int32_t n);

// base^exponent: the integer path for whole exponents, exp(e * ln base)
// otherwise.  An infinite or NaN result (a negative base with a fractional
// exponent, 0 to a negative power, an overflow) raises the floating-point
// error.
tReal RealPower(tReal base, tReal exponent);

// ln Gamma(x) for x > 0 (six-term Lanczos series).  An x at or so near 0
// that the series divides by zero raises the floating-point error.
tReal LogGamma(tReal x);

// P(a, x) by its series (at most 100 terms after the first).
tReal GammaSeries(tReal x, tReal a);

// Q(a, x) = 1 - P(a, x) by its continued fraction, for x >= a + 1.
tReal GammaContinuedFraction(tReal x, tReal a);

// The regularized lower incomplete gamma function P(a, x): the integration
// limit x first, the shape a second.
tReal IncompleteGammaP(tReal x, tReal a);

// ---------------------------------------------------------------------------
// Distributions

// One parameter of a distribution: valid when lower < value < upper.
struct ParameterDescriptor {
  tReal value = 0;
  bool whole_valued = false;
  tReal lower = 0;
  tReal upper = 0;
};

// The common interface.  Construction fills the parameter table and calls
// SetParameters, which validates (raising EArgumentError) and computes every
// quantity that depends only on the parameters, so a draw does no more than
// it must and allocates nothing.
class tDistribution {
 public:
  virtual ~tDistribution() = default;
  tDistribution(const tDistribution&) = default;
  tDistribution& operator=(const tDistribution&) = default;

  // Stores all three values, validates the used ones (raising on the first
  // failure) and recomputes the derived fields.  A normal return is true.
  virtual bool SetParameters(tReal p1, tReal p2, tReal p3);
  virtual bool InSupport(tReal x) const;
  virtual tReal Density(tReal x) const;
  virtual tReal PointMass(tReal x) const;
  // P(X <= x).  The base form answers only outside the support.
  virtual tReal Cdf(tReal x) const;
  // P(a <= X <= b), clamped to [0, 1].
  virtual tReal IntervalProbability(tReal a, tReal b) const;
  virtual tReal Quantile(tReal p) const = 0;
  virtual bool HasMean() const;
  virtual bool HasVariance() const;
  virtual tReal Mean() const = 0;
  virtual tReal Variance() const = 0;
  virtual tReal StdDev() const;
  // One variate; changes only the generator state.
  virtual tReal RandomValue() const;

  int ParameterCount() const { return parameter_count_; }
  // Descriptor i = 1 ... 3.
  const ParameterDescriptor& Parameter(int i) const { return parameters_[i - 1]; }
  tReal SupportLower() const { return support_lower_; }
  tReal SupportUpper() const { return support_upper_; }

 protected:
  tDistribution() = default;
  ParameterDescriptor& MutableParameter(int i) { return parameters_[i - 1]; }

  uint8_t parameter_count_ = 0;
  ParameterDescriptor parameters_[3];
  tReal support_lower_ = 0;
  tReal support_upper_ = 0;
};

// Adds the numerical quantile (bracketing search, then safeguarded Newton
// steps).
class tContinuous_distribution : public tDistribution {
 public:
  tReal Quantile(tReal p) const final;

 protected:
  tContinuous_distribution() = default;
};

// Normal N(mean, variance).  The second constructor argument is the
// variance, not the standard deviation.
class tNormal_distribution final : public tContinuous_distribution {
 public:
  tNormal_distribution(tReal mean, tReal variance);

  bool SetParameters(tReal p1, tReal p2, tReal p3) override;
  tReal Density(tReal x) const override;
  tReal Cdf(tReal x) const override;
  tReal Mean() const override { return mu_; }
  tReal Variance() const override { return variance_; }
  // Ratio of uniforms with quick acceptance and rejection tests; two uniforms
  // per attempt.
  tReal RandomValue() const override;

  tReal Sigma() const { return sigma_; }
  tReal LogNormalisingConstant() const { return log_norm_; }
  tReal GeneratorConstant() const { return sqrt_2_over_e_; }

 private:
  tReal mu_ = 0;
  tReal variance_ = 0;
  tReal sigma_ = 0;
  tReal log_norm_ = 0;
  tReal sqrt_2_over_e_ = 0;
};

// Gamma with shape alpha and rate lambda (mean alpha / lambda).
class tGamma_distribution : public tContinuous_distribution {
 public:
  tGamma_distribution(tReal shape, tReal rate);

  bool SetParameters(tReal p1, tReal p2, tReal p3) override;
  bool InSupport(tReal x) const final;
  tReal Density(tReal x) const final;
  // The incomplete gamma up to shape 500, the Wilson-Hilferty approximation
  // above.
  tReal Cdf(tReal x) const final;
  tReal Mean() const final { return alpha_ / lambda_; }
  tReal Variance() const final { return alpha_ / (lambda_ * lambda_); }
  // Shape 1: -ln U; shape above 1: ratio of uniforms about the mode; shape
  // below 1: Ahrens-Dieter.  The result is divided by the rate.
  tReal RandomValue() const final;

  tReal Shape() const { return alpha_; }
  tReal Rate() const { return lambda_; }
  tReal LogNormalisingConstant() const { return log_norm_; }
  tReal C1() const { return c1_; }
  tReal C2() const { return c2_; }

 protected:
  // Fills the parameter table only; the caller then sets the parameters.
  struct TableOnly {};
  explicit tGamma_distribution(TableOnly);

 private:
  void FillParameterTable();

  tReal alpha_ = 0;
  tReal lambda_ = 0;
  tReal log_norm_ = 0;
  tReal c1_ = 0;
  tReal c2_ = 0;
};

// Chi-square with nu degrees of freedom: the gamma with shape nu/2 and rate
// 1/2.  A draw is 2 G with G of shape nu/2: nu = 2 is the exponential branch,
// nu = 1 the shape-below-1 branch, nu >= 3 the ratio of uniforms.
class tChi_square_distribution final : public tGamma_distribution {
 public:
  explicit tChi_square_distribution(tReal nu);

  // Sets the gamma's parameters to (p1/2, 1/2) and stores nu = p1; p2 and p3
  // are ignored.
  bool SetParameters(tReal p1, tReal p2, tReal p3) override;

  tReal DegreesOfFreedom() const { return nu_; }

 private:
  tReal nu_ = 0;
};

// Uniform on [a, b].
class tUniform_distribution final : public tContinuous_distribution {
 public:
  tUniform_distribution(tReal a, tReal b);

  bool SetParameters(tReal p1, tReal p2, tReal p3) override;
  tReal Density(tReal x) const override;
  tReal Cdf(tReal x) const override;
  tReal Mean() const override { return (a_ + b_) / 2; }
  tReal Variance() const override { return (b_ - a_) * (b_ - a_) / 12; }
  tReal RandomValue() const override { return UniformRandom() * (b_ - a_) + a_; }

  tReal LowerEnd() const { return a_; }
  tReal UpperEnd() const { return b_; }

 private:
  tReal a_ = 0;
  tReal b_ = 0;
};
