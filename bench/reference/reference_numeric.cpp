// The plain step-by-step numerical routines; see reference_numeric.h.
#include "reference/reference_numeric.h"

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <string>

#include "numeric/errors.h"
#include "numeric/extended_math.h"

namespace quorrel_reference {

int32_t RandomSeed1 = 897183450;
int32_t RandomSeed2 = 1841323562;

long double UniformRandom() {
  int32_t k = RandomSeed1 / 53668;
  RandomSeed1 = 40014 * (RandomSeed1 - k * 53668) - k * 12211;
  if (RandomSeed1 < 0) RandomSeed1 += 2147483563;
  k = RandomSeed2 / 52774;
  RandomSeed2 = 40692 * (RandomSeed2 - k * 52774) - k * 3791;
  if (RandomSeed2 < 0) RandomSeed2 += 2147483399;
  int32_t z = RandomSeed1 - RandomSeed2;
  if (z < 1) z += 2147483562;
  return static_cast<long double>(z) * 4.656613e-10L;
}

bool NearlyEqual(long double a, long double b) {
  return std::fabs(b - a) < 5e-12L;
}

namespace {
[[noreturn]] void Raise(int id, const std::string& limit) {
  throw EArgumentError(id, "argument error " + std::to_string(id) + ": " + limit);
}
std::string Limit(long double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%.12Lg", x);
  return text;
}
}  // namespace

bool RaiseIf(bool condition, int id) {
  if (condition) Raise(id, "");
  return true;
}

bool CheckBound(int id, long double value, long double limit) {
  bool fails = false;
  switch (id) {
    case 1301:
    case 1305:
    case 1309:
      fails = value <= limit;
      break;
    case 1302:
    case 1306:
    case 1310:
      fails = value < limit;
      break;
    case 1303:
    case 1307:
    case 1311:
      fails = value >= limit;
      break;
    case 1315:
      fails = value > limit;
      break;
    default:
      break;
  }
  if (fails) Raise(id, Limit(limit));
  return true;
}

long double IntegerPower(long double base, int32_t exponent) {
  if (exponent == 0) return 1;
  uint32_t bits = exponent < 0 ? 0u - static_cast<uint32_t>(exponent) : exponent;
  long double square = base;
  long double product = 1;
  while (true) {
    if (bits & 1u) product = product * square;
    bits >>= 1;
    if (bits == 0) break;
    square = square * square;
  }
  return exponent < 0 ? 1 / product : product;
}

long double RealPower(long double base, long double exponent) {
  if (exponent == 0) return 1;
  if (base == 0 && exponent > 0) return 0;
  if (exponent == std::trunc(exponent) && std::fabs(exponent) <= Unbounded)
    return IntegerPower(base, static_cast<int32_t>(exponent));
  return ExtendedExp(exponent * ExtendedLog(base));
}

long double LogGamma(long double x) {
  static const long double coefficients[6] = {76.18009172947146L,     -86.50532032941677L,
                                              24.01409824083091L,     -1.231739572450155L,
                                              0.1208650973866179e-2L, -0.5395239384953e-5L};
  long double y = x - 1;
  long double t = y + 5.5L;
  t = (y + 0.5L) * ExtendedLog(t) - t;
  long double s = 1;
  for (long double c : coefficients) {
    y = y + 1;
    s = s + c / y;
  }
  return ExtendedLog(2.5066282746310005L * s) + t;
}

long double GammaSeries(long double x, long double a) {
  if (NearlyEqual(0, x)) return 0;
  long double term = 1 / a;
  long double sum = term;
  long double d = a;
  int n = 1;
  do {
    d = d + 1;
    term = term * x / d;
    sum = sum + term;
    n = n + 1;
  } while (!(std::fabs(term) < std::fabs(sum) * 5e-12L || n > 100));
  return ExtendedExp(a * ExtendedLog(x) - x - LogGamma(a)) * sum;
}

long double GammaContinuedFraction(long double x, long double a) {
  long double g = 0, g_old = 1, a0 = 1, a1 = x, b0 = 0, b1 = 1, f = 1;
  long double n = 1;
  do {
    long double d = n - a;
    a0 = (a1 + a0 * d) * f;
    b0 = (b1 + b0 * d) * f;
    long double e = n * f;
    a1 = x * a0 + e * a1;
    b1 = x * b0 + e * b1;
    if (a1 != 0) {
      g_old = g;
      f = 1 / a1;
      g = b1 * f;
    }
    n = n + 1;
    // A NaN would never meet the stopping test.
    if (std::isnan(g)) throw EInvalidOp();
  } while (!(std::fabs((g - g_old) / g) < 5e-12L));
  return ExtendedExp(a * ExtendedLog(x) - x - LogGamma(a)) * g;
}

long double IncompleteGammaP(long double x, long double a) {
  CheckBound(1302, x, 0);
  RaiseIf(x > Unbounded, 1361);
  CheckBound(1301, a, 0);
  RaiseIf(a > Unbounded, 1361);
  if (std::isnan(x) || std::isnan(a)) throw EInvalidOp();
  if (x < a + 1) return GammaSeries(x, a);
  return 1 - GammaContinuedFraction(x, a);
}

void ClearFloatingPointFaults() {
  std::feclearexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
}

void RaiseOnFloatingPointFault() {
  if (std::fetestexcept(FE_INVALID)) throw EInvalidOp();
  if (std::fetestexcept(FE_DIVBYZERO)) throw EZeroDivide();
  if (std::fetestexcept(FE_OVERFLOW)) throw EOverflow();
}

// ---------------------------------------------------------------------------
// Distributions

bool tDistribution::SetParameters(long double p1, long double p2, long double p3) {
  parameters_[1].value = p1;
  parameters_[2].value = p2;
  parameters_[3].value = p3;
  for (int i = 1; i <= parameter_count_; ++i) {
    CheckBound(1297 + 4 * i, parameters_[i].value, parameters_[i].lower);
    CheckBound(1299 + 4 * i, parameters_[i].value, parameters_[i].upper);
  }
  support_lower_ = -Unbounded;
  support_upper_ = Unbounded;
  return true;
}

bool tDistribution::InSupport(long double x) {
  return support_lower_ <= x && x <= support_upper_;
}
long double tDistribution::Density(long double) {
  return 0;
}
long double tDistribution::PointMass(long double) {
  return 0;
}

long double tDistribution::Cdf(long double x) {
  if (std::isnan(x)) throw EInvalidOp();  // would recurse through IntervalProbability
  if (x < support_lower_) return 0;
  if (x >= support_upper_) return 1;
  return IntervalProbability(support_lower_, x);
}

long double tDistribution::IntervalProbability(long double a, long double b) {
  if (a < support_lower_) a = support_lower_;
  if (b > support_upper_) b = support_upper_;
  long double result;
  if (b >= Unbounded)
    result = 1 - Cdf(a) + PointMass(a);
  else if (a <= -Unbounded)
    result = Cdf(b);
  else
    result = Cdf(b) - Cdf(a) + PointMass(a);
  if (result < 0) result = 0;
  if (result > 1) result = 1;
  return result;
}

tNormal_distribution::tNormal_distribution(long double mean, long double variance) {
  parameters_[1] = {0, false, -Unbounded, Unbounded};
  parameters_[2] = {0, false, 0, Unbounded};
  SetParameters(mean, variance, 0);
}

bool tNormal_distribution::SetParameters(long double p1, long double p2, long double p3) {
  bool ok = tDistribution::SetParameters(p1, p2, p3);
  mu_ = p1;
  variance_ = p2;
  sigma_ = std::sqrt(p2);
  log_norm_ = -(ExtendedLog(6.283185307179586L) + ExtendedLog(p2)) / 2;
  generator_constant_ = std::sqrt(2 / ExtendedExp(1.0L));
  return ok;
}

long double tNormal_distribution::Density(long double x) {
  if (!InSupport(x)) return 0;
  return ExtendedExp(log_norm_ - (x - mu_) * (x - mu_) / (2 * variance_));
}

long double tNormal_distribution::Cdf(long double x) {
  long double z = (x - mu_) / sigma_;
  if (!InSupport(x)) return tDistribution::Cdf(x);
  long double p = IncompleteGammaP(z * z / 2, 0.5L);
  if (z >= 0) return 0.5L + 0.5L * p;
  return 0.5L - 0.5L * p;
}

long double tNormal_distribution::RandomValue() {
  while (true) {
    long double u = UniformRandom();
    long double v = UniformRandom();
    long double x = (2 * v - 1) * generator_constant_ / u;
    long double s = x * x;
    if (s <= 2 * u * u - 8 * u + 6) return sigma_ * x + mu_;
    if (s >= 2 / u - 2 * u) continue;
    if (s > -4 * ExtendedLog(u)) continue;
    return sigma_ * x + mu_;
  }
}

tGamma_distribution::tGamma_distribution(long double shape, long double rate) {
  Build(shape, rate);
}

void tGamma_distribution::Build(long double shape, long double rate) {
  parameters_[1] = {0, false, 0, Unbounded};
  parameters_[2] = {0, false, 0, Unbounded};
  SetParameters(shape, rate, 0);
}

bool tGamma_distribution::SetParameters(long double p1, long double p2, long double p3) {
  bool ok = tDistribution::SetParameters(p1, p2, p3);
  alpha_ = p1;
  lambda_ = p2;
  log_norm_ = alpha_ * ExtendedLog(lambda_) - LogGamma(alpha_);
  support_lower_ = 0;
  support_upper_ = Unbounded;
  if (alpha_ > 1) {
    long double h = std::sqrt(2 * alpha_ - 1);
    c1_ =
        (1 - h) * std::sqrt(ExtendedExp(
                      (ExtendedLog(alpha_ - h) - ExtendedLog(alpha_ - 1)) * (alpha_ - 1) + h - 1));
    c2_ =
        (1 + h) * std::sqrt(ExtendedExp(
                      (ExtendedLog(alpha_ + h) - ExtendedLog(alpha_ - 1)) * (alpha_ - 1) - h - 1));
  } else if (alpha_ < 1) {
    long double e = ExtendedExp(1.0L);
    c1_ = (e + alpha_) / e;
    c2_ = 1 / alpha_;
  }
  return ok;
}

bool tGamma_distribution::InSupport(long double x) {
  bool inside = tDistribution::InSupport(x);
  if (alpha_ < 1) return inside && x > 0;
  return inside;
}

long double tGamma_distribution::Density(long double x) {
  if (InSupport(x) && x > 0)
    return ExtendedExp((alpha_ - 1) * ExtendedLog(x) + log_norm_ - lambda_ * x);
  if (NearlyEqual(alpha_, 1) && x == 0) return lambda_;
  return 0;
}

long double tGamma_distribution::Cdf(long double x) {
  if (!InSupport(x)) return x <= 0 ? 0 : 1;
  if (alpha_ <= 500) return IncompleteGammaP(lambda_ * x, alpha_);
  long double w = RealPower(lambda_ * x / alpha_, 1.0L / 3) - 1 + 1 / (9 * alpha_);
  long double p = IncompleteGammaP(4.5L * alpha_ * (w * w), 0.5L);  // 4.5 alpha times w squared
  return w >= 0 ? (1 + p) / 2 : (1 - p) / 2;
}

long double tGamma_distribution::RandomValue() {
  long double g;
  if (alpha_ == 1) {
    g = -ExtendedLog(UniformRandom());
  } else if (alpha_ > 1) {
    while (true) {
      long double u = UniformRandom();
      long double v = UniformRandom() * (c2_ - c1_) + c1_;
      long double x = v / u;
      long double y = x + alpha_ - 1;
      long double s = x * x;
      long double q = -2 * u * u + 8 * u - 6;
      bool accept, reject;
      if (x >= 0) {
        accept = -s * (x + y) >= y * y * q;
        reject = -u * s <= y * (2 * u * u - 2);
      } else {
        accept = -s >= y * q;
        reject = -u * s <= (2 * u * u - 2) * (alpha_ - 1);
      }
      if (accept) {
        g = y;
        break;
      }
      if (reject) continue;
      if (y <= 0) continue;
      if (2 * ExtendedLog(u) + x > (alpha_ - 1) * ExtendedLog(x / (alpha_ - 1) + 1)) continue;
      g = y;
      break;
    }
  } else {
    while (true) {
      long double u1 = UniformRandom();
      long double p = c1_ * u1;
      long double u2 = UniformRandom();
      long double x;
      if (p <= 1) {
        x = RealPower(p, c2_);
        if (ExtendedLog(u2) <= -x) {
          g = x;
          break;
        }
      } else {
        x = -ExtendedLog((c1_ - p) * c2_);
        if (u2 <= RealPower(x, alpha_ - 1)) {
          g = x;
          break;
        }
      }
    }
  }
  return g / lambda_;
}

tChi_square_distribution::tChi_square_distribution(long double nu) {
  Build(nu / 2, 0.5L);
  SetParameters(nu, 0, 0);
}

bool tChi_square_distribution::SetParameters(long double p1, long double, long double) {
  bool ok = tGamma_distribution::SetParameters(p1 / 2, 0.5L, 0);
  nu_ = p1;
  return ok;
}

tUniform_distribution::tUniform_distribution(long double a, long double b) {
  parameters_[1] = {0, false, -Unbounded, b};
  parameters_[2] = {0, false, a, Unbounded};
  SetParameters(a, b, 0);
}

bool tUniform_distribution::SetParameters(long double p1, long double p2, long double p3) {
  parameters_[1].upper = p2;
  parameters_[2].lower = p1;
  bool ok = tDistribution::SetParameters(p1, p2, p3);
  a_ = p1;
  b_ = p2;
  support_lower_ = a_;
  support_upper_ = b_;
  return ok;
}

long double tUniform_distribution::Density(long double x) {
  return InSupport(x) ? 1 / (b_ - a_) : 0;
}

long double tUniform_distribution::Cdf(long double x) {
  if (!InSupport(x)) return tDistribution::Cdf(x);
  return (x - a_) / (b_ - a_);
}

long double tUniform_distribution::RandomValue() {
  return UniformRandom() * (b_ - a_) + a_;
}

// ---------------------------------------------------------------------------
// Matrices: every routine copies its inputs whole first.

void MatrixZero(Matrix20& M) {
  for (auto& row : M.e)
    for (auto& x : row)
      x = 0;
}

void MatrixMultiply(const Matrix20& A, const Matrix20& B, int n, Matrix20& C) {
  Matrix20 a = A, b = B;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      long double sum = 0;
      for (int k = 1; k <= n; ++k)
        sum = sum + a(i, k) * b(k, j);
      C(i, j) = sum;
    }
}

void MatrixTranspose(const Matrix20& A, int n, Matrix20& T) {
  Matrix20 a = A;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      T(j, i) = a(i, j);
}

bool MatrixInverse(const Matrix20& A, int n, Matrix20& R) {
  Matrix20 w = A;
  MatrixZero(R);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      R(i, j) = i == j ? 1 : 0;
  for (int k = 1; k <= n; ++k) {
    int pivot = 0;
    for (int r = k; r <= n && pivot == 0; ++r)
      if (std::fabs(w(r, k)) >= 1e-10L) pivot = r;
    if (pivot == 0) {
      pivot = k;
      for (int r = k + 1; r <= n; ++r)
        if (std::fabs(w(r, k)) > std::fabs(w(pivot, k))) pivot = r;
      if (!(std::fabs(w(pivot, k)) > 0)) return false;
    }
    if (pivot != k)
      for (int j = 1; j <= n; ++j) {
        long double x = w(pivot, j);
        w(pivot, j) = w(k, j);
        w(k, j) = x;
        x = R(pivot, j);
        R(pivot, j) = R(k, j);
        R(k, j) = x;
      }
    long double t = 1 / w(k, k);
    for (int j = 1; j <= n; ++j) {
      w(k, j) = w(k, j) * t;
      R(k, j) = R(k, j) * t;
    }
    for (int i = 1; i <= n; ++i) {
      if (i == k) continue;
      long double f = -w(i, k);
      for (int j = 1; j <= n; ++j) {
        w(i, j) = f * w(k, j) + w(i, j);
        R(i, j) = f * R(k, j) + R(i, j);
      }
    }
  }
  return true;
}

void Cholesky2x2(const Matrix20& A, Matrix20& L) {
  Matrix20 a = A;
  L(1, 1) = std::sqrt(a(1, 1));
  L(1, 2) = 0;
  L(2, 1) = a(2, 1) / L(1, 1);
  L(2, 2) = std::sqrt(a(2, 2) - L(2, 1) * L(2, 1));
}

void QuickSort(int32_t lo, int32_t hi, double* X) {
  if (hi <= lo) return;
  double* x = X - 1;  // entry k is x[k]
  double v = x[hi];
  int32_t i = lo - 1, j = hi;
  do {
    do
      ++i;
    while (x[i] < v);
    do
      --j;
    while (j > lo && x[j] > v);
    if (j > i) {
      double t = x[i];
      x[i] = x[j];
      x[j] = t;
    }
  } while (j > i);
  double t = x[i];
  x[i] = x[hi];
  x[hi] = t;
  QuickSort(lo, i - 1, X);
  QuickSort(i + 1, hi, X);
}

}  // namespace quorrel_reference
