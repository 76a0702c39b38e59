// The process-wide uniform generator, the numeric helpers, and the family of
// probability distributions whose variates the Bayesian engines draw.
//
// Every real quantity is long double (80-bit extended) and every formula is
// evaluated left to right exactly as written beside it, so that the numbers
// are the same in every digit from run to run and from build to build.
#pragma once

#include <cstdint>
#include <string>

#include "numeric/errors.h"
#include "numeric/float_faults.h"

// ---------------------------------------------------------------------------
// Constants

// Stands for +infinity (and its negative for -infinity) in every bound and
// support of this library: 2^31 - 1.
inline constexpr long double Unbounded = 2147483647.0L;

// Tolerance of NearlyEqual, of the incomplete-gamma evaluations and of the
// quantile search.
inline constexpr long double kTolerance = 5e-12L;

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
inline long double UniformRandom() {
  int32_t k = RandomSeed1 / 53668;
  RandomSeed1 = 40014 * (RandomSeed1 - k * 53668) - k * 12211;
  if (RandomSeed1 < 0) RandomSeed1 += 2147483563;
  k = RandomSeed2 / 52774;
  RandomSeed2 = 40692 * (RandomSeed2 - k * 52774) - k * 3791;
  if (RandomSeed2 < 0) RandomSeed2 += 2147483399;
  int32_t z = RandomSeed1 - RandomSeed2;
  if (z < 1) z += 2147483562;
  // The scale is the extended value nearest 4.656613e-10, not 1/2147483563.
  return static_cast<long double>(z) * 4.656613e-10L;
}

// Puts both state words back to their start values.
inline void ResetUniformRandom() {
  RandomSeed1 = kRandomSeed1Start;
  RandomSeed2 = kRandomSeed2Start;
}

// ---------------------------------------------------------------------------
// Helpers

// |b - a| < 5e-12.
bool NearlyEqual(long double a, long double b);

// |x| < 2147483647 and x is within the tolerance of the nearest integer.
bool IsWholeNumber(long double x);

// x with at least one integer digit and up to twelve decimals, trailing zeros
// dropped, no thousands separator, `decimal_separator` before the decimals.
std::string FormatLimit(long double x, char decimal_separator);

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
bool CheckBound(int id, long double value, long double limit);

// base^n by square-and-multiply from the least significant bit.  An
// infinite or NaN result raises the floating-point error.
long double IntegerPower(long double base, int32_t n);

// base^exponent: the integer path for whole exponents, exp(e * ln base)
// otherwise.  An infinite or NaN result (a negative base with a fractional
// exponent, 0 to a negative power, an overflow) raises the floating-point
// error.
long double RealPower(long double base, long double exponent);

// ln Gamma(x) for x > 0 (six-term Lanczos series).  An x at or so near 0
// that the series divides by zero raises the floating-point error.
long double LogGamma(long double x);

// P(a, x) by its series (at most 100 terms after the first).
long double GammaSeries(long double x, long double a);

// Q(a, x) = 1 - P(a, x) by its continued fraction, for x >= a + 1.
long double GammaContinuedFraction(long double x, long double a);

// The regularized lower incomplete gamma function P(a, x): the integration
// limit x first, the shape a second.
long double IncompleteGammaP(long double x, long double a);

// ---------------------------------------------------------------------------
// Distributions

// One parameter of a distribution: valid when lower < value < upper.
struct ParameterDescriptor {
  long double value = 0;
  bool whole_valued = false;
  long double lower = 0;
  long double upper = 0;
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
  virtual bool SetParameters(long double p1, long double p2, long double p3);
  virtual bool InSupport(long double x) const;
  virtual long double Density(long double x) const;
  virtual long double PointMass(long double x) const;
  // P(X <= x).  The base form answers only outside the support.
  virtual long double Cdf(long double x) const;
  // P(a <= X <= b), clamped to [0, 1].
  virtual long double IntervalProbability(long double a, long double b) const;
  virtual long double Quantile(long double p) const = 0;
  virtual bool HasMean() const;
  virtual bool HasVariance() const;
  virtual long double Mean() const = 0;
  virtual long double Variance() const = 0;
  virtual long double StdDev() const;
  // One variate; changes only the generator state.
  virtual long double RandomValue() const;

  int ParameterCount() const { return parameter_count_; }
  // Descriptor i = 1 ... 3.
  const ParameterDescriptor& Parameter(int i) const { return parameters_[i - 1]; }
  long double SupportLower() const { return support_lower_; }
  long double SupportUpper() const { return support_upper_; }

 protected:
  tDistribution() = default;
  ParameterDescriptor& MutableParameter(int i) { return parameters_[i - 1]; }

  uint8_t parameter_count_ = 0;
  ParameterDescriptor parameters_[3];
  long double support_lower_ = 0;
  long double support_upper_ = 0;
};

// Adds the numerical quantile (bracketing search, then safeguarded Newton
// steps).
class tContinuous_distribution : public tDistribution {
 public:
  long double Quantile(long double p) const final;

 protected:
  tContinuous_distribution() = default;
};

// Normal N(mean, variance).  The second constructor argument is the
// variance, not the standard deviation.
class tNormal_distribution final : public tContinuous_distribution {
 public:
  tNormal_distribution(long double mean, long double variance);

  bool SetParameters(long double p1, long double p2, long double p3) override;
  long double Density(long double x) const override;
  long double Cdf(long double x) const override;
  long double Mean() const override { return mu_; }
  long double Variance() const override { return variance_; }
  // Ratio of uniforms with quick acceptance and rejection tests; two uniforms
  // per attempt.
  long double RandomValue() const override;

  long double Sigma() const { return sigma_; }
  long double LogNormalisingConstant() const { return log_norm_; }
  long double GeneratorConstant() const { return sqrt_2_over_e_; }

 private:
  long double mu_ = 0;
  long double variance_ = 0;
  long double sigma_ = 0;
  long double log_norm_ = 0;
  long double sqrt_2_over_e_ = 0;
};

// Gamma with shape alpha and rate lambda (mean alpha / lambda).
class tGamma_distribution : public tContinuous_distribution {
 public:
  tGamma_distribution(long double shape, long double rate);

  bool SetParameters(long double p1, long double p2, long double p3) override;
  bool InSupport(long double x) const final;
  long double Density(long double x) const final;
  // The incomplete gamma up to shape 500, the Wilson-Hilferty approximation
  // above.
  long double Cdf(long double x) const final;
  long double Mean() const final { return alpha_ / lambda_; }
  long double Variance() const final { return alpha_ / (lambda_ * lambda_); }
  // Shape 1: -ln U; shape above 1: ratio of uniforms about the mode; shape
  // below 1: Ahrens-Dieter.  The result is divided by the rate.
  long double RandomValue() const final;

  long double Shape() const { return alpha_; }
  long double Rate() const { return lambda_; }
  long double LogNormalisingConstant() const { return log_norm_; }
  long double C1() const { return c1_; }
  long double C2() const { return c2_; }

 protected:
  // Fills the parameter table only; the caller then sets the parameters.
  struct TableOnly {};
  explicit tGamma_distribution(TableOnly);

 private:
  void FillParameterTable();

  long double alpha_ = 0;
  long double lambda_ = 0;
  long double log_norm_ = 0;
  long double c1_ = 0;
  long double c2_ = 0;
};

// Chi-square with nu degrees of freedom: the gamma with shape nu/2 and rate
// 1/2.  A draw is 2 G with G of shape nu/2: nu = 2 is the exponential branch,
// nu = 1 the shape-below-1 branch, nu >= 3 the ratio of uniforms.
class tChi_square_distribution final : public tGamma_distribution {
 public:
  explicit tChi_square_distribution(long double nu);

  // Sets the gamma's parameters to (p1/2, 1/2) and stores nu = p1; p2 and p3
  // are ignored.
  bool SetParameters(long double p1, long double p2, long double p3) override;

  long double DegreesOfFreedom() const { return nu_; }

 private:
  long double nu_ = 0;
};

// Uniform on [a, b].
class tUniform_distribution final : public tContinuous_distribution {
 public:
  tUniform_distribution(long double a, long double b);

  bool SetParameters(long double p1, long double p2, long double p3) override;
  long double Density(long double x) const override;
  long double Cdf(long double x) const override;
  long double Mean() const override { return (a_ + b_) / 2; }
  long double Variance() const override { return (b_ - a_) * (b_ - a_) / 12; }
  long double RandomValue() const override { return UniformRandom() * (b_ - a_) + a_; }

  long double LowerEnd() const { return a_; }
  long double UpperEnd() const { return b_; }

 private:
  long double a_ = 0;
  long double b_ = 0;
};
