// A frozen, deliberately unoptimised copy of the numerical routines that the
// engines use: the generator, the incomplete gamma function, the normal,
// gamma, chi-square and uniform distributions with their virtual interface,
// and the matrix routines that copy whole 20 x 20 matrices.  It exists only
// so that the optimised code can be measured, and checked bit for bit,
// against the plain step-by-step computation.  Nothing in the program uses it.
#pragma once

#include <cstdint>

#include "numeric/real.h"

namespace quorrel_reference {

inline constexpr tReal Unbounded = 2147483647.0L;

extern int32_t RandomSeed1;
extern int32_t RandomSeed2;
tReal UniformRandom();

bool NearlyEqual(tReal a, tReal b);
bool RaiseIf(bool condition, int id);
bool CheckBound(int id, tReal value, tReal limit);
tReal IntegerPower(tReal base, int32_t exponent);
tReal RealPower(tReal base, tReal exponent);
tReal LogGamma(tReal x);
tReal GammaSeries(tReal x, tReal a);
tReal GammaContinuedFraction(tReal x, tReal a);
tReal IncompleteGammaP(tReal x, tReal a);

// Ends the computation with the floating-point error when the sticky flags
// show an invalid operation, a division by zero or an overflow.
void ClearFloatingPointFaults();
void RaiseOnFloatingPointFault();

struct ParameterDescriptor {
  tReal value = 0;
  bool whole = false;
  tReal lower = 0;
  tReal upper = 0;
};

class tDistribution {
 public:
  virtual ~tDistribution() = default;
  virtual bool SetParameters(tReal p1, tReal p2, tReal p3);
  virtual bool InSupport(tReal x);
  virtual tReal Density(tReal x);
  virtual tReal PointMass(tReal x);
  virtual tReal Cdf(tReal x);
  virtual tReal IntervalProbability(tReal a, tReal b);
  virtual tReal RandomValue() = 0;

 protected:
  uint8_t parameter_count_ = 2;
  ParameterDescriptor parameters_[4];  // entries 1 to 3
  tReal support_lower_ = 0;
  tReal support_upper_ = 0;
};

class tNormal_distribution : public tDistribution {
 public:
  tNormal_distribution(tReal mean, tReal variance);
  bool SetParameters(tReal p1, tReal p2, tReal p3) override;
  tReal Density(tReal x) override;
  tReal Cdf(tReal x) override;
  tReal RandomValue() override;

 private:
  tReal mu_ = 0, variance_ = 0, sigma_ = 0, log_norm_ = 0, generator_constant_ = 0;
};

class tGamma_distribution : public tDistribution {
 public:
  tGamma_distribution(tReal shape, tReal rate);
  bool SetParameters(tReal p1, tReal p2, tReal p3) override;
  bool InSupport(tReal x) override;
  tReal Density(tReal x) override;
  tReal Cdf(tReal x) override;
  tReal RandomValue() override;

 protected:
  tGamma_distribution() = default;
  // The constructor's body: fills the table and sets the parameters through
  // the virtual interface, so that the most derived override runs.
  void Build(tReal shape, tReal rate);

  tReal alpha_ = 0, lambda_ = 0, log_norm_ = 0, c1_ = 0, c2_ = 0;
};

class tChi_square_distribution : public tGamma_distribution {
 public:
  explicit tChi_square_distribution(tReal nu);
  bool SetParameters(tReal p1, tReal p2, tReal p3) override;

 private:
  tReal nu_ = 0;
};

class tUniform_distribution : public tDistribution {
 public:
  tUniform_distribution(tReal a, tReal b);
  bool SetParameters(tReal p1, tReal p2, tReal p3) override;
  tReal Density(tReal x) override;
  tReal Cdf(tReal x) override;
  tReal RandomValue() override;

 private:
  tReal a_ = 0, b_ = 0;
};

struct Matrix20 {
  tReal e[20][20];
  tReal& operator()(int row, int col) { return e[row - 1][col - 1]; }
  const tReal& operator()(int row, int col) const { return e[row - 1][col - 1]; }
};

void MatrixZero(Matrix20& M);
void MatrixMultiply(const Matrix20& A, const Matrix20& B, int n, Matrix20& C);
void MatrixTranspose(const Matrix20& A, int n, Matrix20& T);
bool MatrixInverse(const Matrix20& A, int n, Matrix20& R);
void Cholesky2x2(const Matrix20& A, Matrix20& L);
// Entries numbered from 1: X[0] is entry 1.
void QuickSort(int32_t lo, int32_t hi, double* X);

}  // namespace quorrel_reference
