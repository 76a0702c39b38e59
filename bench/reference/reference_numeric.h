// A frozen, deliberately unoptimised copy of the numerical routines that the
// engines use: the generator, the incomplete gamma function, the normal,
// gamma, chi-square and uniform distributions with their virtual interface,
// and the matrix routines that copy whole 20 x 20 matrices.  It exists only
// so that the optimised code can be measured, and checked bit for bit,
// against the plain step-by-step computation.  Nothing in the program uses it.
#pragma once

#include <cstdint>

namespace quorrel_reference {

inline constexpr long double Unbounded = 2147483647.0L;

extern int32_t RandomSeed1;
extern int32_t RandomSeed2;
long double UniformRandom();

bool NearlyEqual(long double a, long double b);
bool RaiseIf(bool condition, int id);
bool CheckBound(int id, long double value, long double limit);
long double IntegerPower(long double base, int32_t exponent);
long double RealPower(long double base, long double exponent);
long double LogGamma(long double x);
long double GammaSeries(long double x, long double a);
long double GammaContinuedFraction(long double x, long double a);
long double IncompleteGammaP(long double x, long double a);

// Ends the computation with the floating-point error when the sticky flags
// show an invalid operation, a division by zero or an overflow.
void ClearFloatingPointFaults();
void RaiseOnFloatingPointFault();

struct ParameterDescriptor {
  long double value = 0;
  bool whole = false;
  long double lower = 0;
  long double upper = 0;
};

class tDistribution {
 public:
  virtual ~tDistribution() = default;
  virtual bool SetParameters(long double p1, long double p2, long double p3);
  virtual bool InSupport(long double x);
  virtual long double Density(long double x);
  virtual long double PointMass(long double x);
  virtual long double Cdf(long double x);
  virtual long double IntervalProbability(long double a, long double b);
  virtual long double RandomValue() = 0;

 protected:
  uint8_t parameter_count_ = 2;
  ParameterDescriptor parameters_[4];  // entries 1 to 3
  long double support_lower_ = 0;
  long double support_upper_ = 0;
};

class tNormal_distribution : public tDistribution {
 public:
  tNormal_distribution(long double mean, long double variance);
  bool SetParameters(long double p1, long double p2, long double p3) override;
  long double Density(long double x) override;
  long double Cdf(long double x) override;
  long double RandomValue() override;

 private:
  long double mu_ = 0, variance_ = 0, sigma_ = 0, log_norm_ = 0, generator_constant_ = 0;
};

class tGamma_distribution : public tDistribution {
 public:
  tGamma_distribution(long double shape, long double rate);
  bool SetParameters(long double p1, long double p2, long double p3) override;
  bool InSupport(long double x) override;
  long double Density(long double x) override;
  long double Cdf(long double x) override;
  long double RandomValue() override;

 protected:
  tGamma_distribution() = default;
  // The constructor's body: fills the table and sets the parameters through
  // the virtual interface, so that the most derived override runs.
  void Build(long double shape, long double rate);

  long double alpha_ = 0, lambda_ = 0, log_norm_ = 0, c1_ = 0, c2_ = 0;
};

class tChi_square_distribution : public tGamma_distribution {
 public:
  explicit tChi_square_distribution(long double nu);
  bool SetParameters(long double p1, long double p2, long double p3) override;

 private:
  long double nu_ = 0;
};

class tUniform_distribution : public tDistribution {
 public:
  tUniform_distribution(long double a, long double b);
  bool SetParameters(long double p1, long double p2, long double p3) override;
  long double Density(long double x) override;
  long double Cdf(long double x) override;
  long double RandomValue() override;

 private:
  long double a_ = 0, b_ = 0;
};

struct Matrix20 {
  long double e[20][20];
  long double& operator()(int row, int col) { return e[row - 1][col - 1]; }
  const long double& operator()(int row, int col) const { return e[row - 1][col - 1]; }
};

void MatrixZero(Matrix20& M);
void MatrixMultiply(const Matrix20& A, const Matrix20& B, int n, Matrix20& C);
void MatrixTranspose(const Matrix20& A, int n, Matrix20& T);
bool MatrixInverse(const Matrix20& A, int n, Matrix20& R);
void Cholesky2x2(const Matrix20& A, Matrix20& L);
// Entries numbered from 1: X[0] is entry 1.
void QuickSort(int32_t lo, int32_t hi, double* X);

}  // namespace quorrel_reference
