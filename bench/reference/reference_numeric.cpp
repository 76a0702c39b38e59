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

tReal UniformRandom() {
  int32_t k = RandomSeed1 / 53668;
  RandomSeed1 = 40014 * (RandomSeed1 - k * 53668) - k * 12211;
  if (RandomSeed1 < 0) RandomSeed1 += 2147483563;
  k = RandomSeed2 / 52774;
  RandomSeed2 = 40692 * (RandomSeed2 - k * 52774) - k * 3791;
  if (RandomSeed2 < 0) RandomSeed2 += 2147483399;
  int32_t z = RandomSeed1 - RandomSeed2;
  if (z < 1) z += 2147483562;
  return static_cast<tReal>(z) * 4.656613e-10L;
}

bool NearlyEqual(tReal a, tReal b) {
  return real_math::fabs(b - a) < 5e-12L;
}

namespace {
[[noreturn]] void Raise(int id, const std::string& limit) {
  throw EArgumentError(id, "argument error " + std::to_string(id) + ": " + limit);
}
std::string Limit(tReal x) {
  char text[64];
  std::snprintf(text, sizeof text, "%.12Lg", static_cast<long double>(x));  // keeps long double
  return text;
}
}  // namespace

bool RaiseIf(bool condition, int id) {
  if (condition) Raise(id, "");
  return true;
}

bool CheckBound(int id, tReal value, tReal limit) {
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

tReal IntegerPower(tReal base, int32_t exponent) {
  if (exponent == 0) return 1;
  uint32_t bits = exponent < 0 ? 0u - static_cast<uint32_t>(exponent) : exponent;
  tReal square = base;
  tReal product = 1;
  while (true) {
    if (bits & 1u) product = product * square;
    bits >>= 1;
    if (bits == 0) break;
    square = square * square;
  }
  return exponent < 0 ? 1 / product : product;
}

tReal RealPower(tReal base, tReal exponent) {
  if (exponent == 0) return 1;
  if (base == 0 && exponent > 0) return 0;
  if (exponent == real_math::trunc(exponent) && real_math::fabs(exponent) <= Unbounded)
    return IntegerPower(base, static_cast<int32_t>(exponent));
  return ExtendedExp(exponent * ExtendedLog(base));
}

tReal LogGamma(tReal x) {
  static const tReal coefficients[6] = {76.18009172947146L,     -86.50532032941677L,
                                        24.01409824083091L,     -1.231739572450155L,
                                        0.1208650973866179e-2L, -0.5395239384953e-5L};
  tReal y = x - 1;
  tReal t = y + 5.5L;
  t = (y + 0.5L) * ExtendedLog(t) - t;
  tReal s = 1;
  for (tReal c : coefficients) {
    y = y + 1;
    s = s + c / y;
  }
  return ExtendedLog(2.5066282746310005L * s) + t;
}

tReal GammaSeries(tReal x, tReal a) {
  if (NearlyEqual(0, x)) return 0;
  tReal term = 1 / a;
  tReal sum = term;
  tReal d = a;
  int n = 1;
  do {
    d = d + 1;
    term = term * x / d;
    sum = sum + term;
    n = n + 1;
  } while (!(real_math::fabs(term) < real_math::fabs(sum) * 5e-12L || n > 100));
  return ExtendedExp(a * ExtendedLog(x) - x - LogGamma(a)) * sum;
}

tReal GammaContinuedFraction(tReal x, tReal a) {
  tReal g = 0, g_old = 1, a0 = 1, a1 = x, b0 = 0, b1 = 1, f = 1;
  tReal n = 1;
  do {
    tReal d = n - a;
    a0 = (a1 + a0 * d) * f;
    b0 = (b1 + b0 * d) * f;
    tReal e = n * f;
    a1 = x * a0 + e * a1;
    b1 = x * b0 + e * b1;
    if (a1 != 0) {
      g_old = g;
      f = 1 / a1;
      g = b1 * f;
    }
    n = n + 1;
    // A NaN would never meet the stopping test.
    if (real_math::isnan(g)) throw EInvalidOp();
  } while (!(real_math::fabs((g - g_old) / g) < 5e-12L));
  return ExtendedExp(a * ExtendedLog(x) - x - LogGamma(a)) * g;
}

tReal IncompleteGammaP(tReal x, tReal a) {
  CheckBound(1302, x, 0);
  RaiseIf(x > Unbounded, 1361);
  CheckBound(1301, a, 0);
  RaiseIf(a > Unbounded, 1361);
  if (real_math::isnan(x) || real_math::isnan(a)) throw EInvalidOp();
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

bool tDistribution::SetParameters(tReal p1, tReal p2, tReal p3) {
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

bool tDistribution::InSupport(tReal x) {
  return support_lower_ <= x && x <= support_upper_;
}
tReal tDistribution::Density(tReal) {
  return 0;
}
tReal tDistribution::PointMass(tReal) {
  return 0;
}

tReal tDistribution::Cdf(tReal x) {
  if (real_math::isnan(x)) throw EInvalidOp();  // would recurse through IntervalProbability
  if (x < support_lower_) return 0;
  if (x >= support_upper_) return 1;
  return IntervalProbability(support_lower_, x);
}

tReal tDistribution::IntervalProbability(tReal a, tReal b) {
  if (a < support_lower_) a = support_lower_;
  if (b > support_upper_) b = support_upper_;
  tReal result;
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

tNormal_distribution::tNormal_distribution(tReal mean, tReal variance) {
  parameters_[1] = {0, false, -Unbounded, Unbounded};
  parameters_[2] = {0, false, 0, Unbounded};
  SetParameters(mean, variance, 0);
}

bool tNormal_distribution::SetParameters(tReal p1, tReal p2, tReal p3) {
  bool ok = tDistribution::SetParameters(p1, p2, p3);
  mu_ = p1;
  variance_ = p2;
  sigma_ = real_math::sqrt(p2);
  log_norm_ = -(ExtendedLog(6.283185307179586L) + ExtendedLog(p2)) / 2;
  generator_constant_ = real_math::sqrt(2 / ExtendedExp(1.0L));
  return ok;
}

tReal tNormal_distribution::Density(tReal x) {
  if (!InSupport(x)) return 0;
  return ExtendedExp(log_norm_ - (x - mu_) * (x - mu_) / (2 * variance_));
}

tReal tNormal_distribution::Cdf(tReal x) {
  tReal z = (x - mu_) / sigma_;
  if (!InSupport(x)) return tDistribution::Cdf(x);
  tReal p = IncompleteGammaP(z * z / 2, 0.5L);
  if (z >= 0) return 0.5L + 0.5L * p;
  return 0.5L - 0.5L * p;
}

tReal tNormal_distribution::RandomValue() {
  while (true) {
    tReal u = UniformRandom();
    tReal v = UniformRandom();
    tReal x = (2 * v - 1) * generator_constant_ / u;
    tReal s = x * x;
    if (s <= 2 * u * u - 8 * u + 6) return sigma_ * x + mu_;
    if (s >= 2 / u - 2 * u) continue;
    if (s > -4 * ExtendedLog(u)) continue;
    return sigma_ * x + mu_;
  }
}

tGamma_distribution::tGamma_distribution(tReal shape, tReal rate) {
  Build(shape, rate);
}

void tGamma_distribution::Build(tReal shape, tReal rate) {
  parameters_[1] = {0, false, 0, Unbounded};
  parameters_[2] = {0, false, 0, Unbounded};
  SetParameters(shape, rate, 0);
}

bool tGamma_distribution::SetParameters(tReal p1, tReal p2, tReal p3) {
  bool ok = tDistribution::SetParameters(p1, p2, p3);
  alpha_ = p1;
  lambda_ = p2;
  log_norm_ = alpha_ * ExtendedLog(lambda_) - LogGamma(alpha_);
  support_lower_ = 0;
  support_upper_ = Unbounded;
  if (alpha_ > 1) {
    tReal h = real_math::sqrt(2 * alpha_ - 1);
    c1_ =
        (1 - h) * real_math::sqrt(ExtendedExp(
                      (ExtendedLog(alpha_ - h) - ExtendedLog(alpha_ - 1)) * (alpha_ - 1) + h - 1));
    c2_ =
        (1 + h) * real_math::sqrt(ExtendedExp(
                      (ExtendedLog(alpha_ + h) - ExtendedLog(alpha_ - 1)) * (alpha_ - 1) - h - 1));
  } else if (alpha_ < 1) {
    tReal e = ExtendedExp(1.0L);
    c1_ = (e + alpha_) / e;
    c2_ = 1 / alpha_;
  }
  return ok;
}

bool tGamma_distribution::InSupport(tReal x) {
  bool inside = tDistribution::InSupport(x);
  if (alpha_ < 1) return inside && x > 0;
  return inside;
}

tReal tGamma_distribution::Density(tReal x) {
  if (InSupport(x) && x > 0)
    return ExtendedExp((alpha_ - 1) * ExtendedLog(x) + log_norm_ - lambda_ * x);
  if (NearlyEqual(alpha_, 1) && x == 0) return lambda_;
  return 0;
}

tReal tGamma_distribution::Cdf(tReal x) {
  if (!InSupport(x)) return x <= 0 ? 0 : 1;
  if (alpha_ <= 500) return IncompleteGammaP(lambda_ * x, alpha_);
  tReal w = RealPower(lambda_ * x / alpha_, 1.0L / 3) - 1 + 1 / (9 * alpha_);
  tReal p = IncompleteGammaP(4.5L * alpha_ * (w * w), 0.5L);  // 4.5 alpha times w squared
  return w >= 0 ? (1 + p) / 2 : (1 - p) / 2;
}

tReal tGamma_distribution::RandomValue() {
  tReal g;
  if (alpha_ == 1) {
    g = -ExtendedLog(UniformRandom());
  } else if (alpha_ > 1) {
    while (true) {
      tReal u = UniformRandom();
      tReal v = UniformRandom() * (c2_ - c1_) + c1_;
      tReal x = v / u;
      tReal y = x + alpha_ - 1;
      tReal s = x * x;
      tReal q = -2 * u * u + 8 * u - 6;
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
      tReal u1 = UniformRandom();
      tReal p = c1_ * u1;
      tReal u2 = UniformRandom();
      tReal x;
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

tChi_square_distribution::tChi_square_distribution(tReal nu) {
  Build(nu / 2, 0.5L);
  SetParameters(nu, 0, 0);
}

bool tChi_square_distribution::SetParameters(tReal p1, tReal, tReal) {
  bool ok = tGamma_distribution::SetParameters(p1 / 2, 0.5L, 0);
  nu_ = p1;
  return ok;
}

tUniform_distribution::tUniform_distribution(tReal a, tReal b) {
  parameters_[1] = {0, false, -Unbounded, b};
  parameters_[2] = {0, false, a, Unbounded};
  SetParameters(a, b, 0);
}

bool tUniform_distribution::SetParameters(tReal p1, tReal p2, tReal p3) {
  parameters_[1].upper = p2;
  parameters_[2].lower = p1;
  bool ok = tDistribution::SetParameters(p1, p2, p3);
  a_ = p1;
  b_ = p2;
  support_lower_ = a_;
  support_upper_ = b_;
  return ok;
}

tReal tUniform_distribution::Density(tReal x) {
  return InSupport(x) ? 1 / (b_ - a_) : 0;
}

tReal tUniform_distribution::Cdf(tReal x) {
  if (!InSupport(x)) return tDistribution::Cdf(x);
  return (x - a_) / (b_ - a_);
}

tReal tUniform_distribution::RandomValue() {
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
      tReal sum = 0;
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
      if (real_math::fabs(w(r, k)) >= 1e-10L) pivot = r;
    if (pivot == 0) {
      pivot = k;
      for (int r = k + 1; r <= n; ++r)
        if (real_math::fabs(w(r, k)) > real_math::fabs(w(pivot, k))) pivot = r;
      if (!(real_math::fabs(w(pivot, k)) > 0)) return false;
    }
    if (pivot != k)
      for (int j = 1; j <= n; ++j) {
        tReal x = w(pivot, j);
        w(pivot, j) = w(k, j);
        w(k, j) = x;
        x = R(pivot, j);
        R(pivot, j) = R(k, j);
        R(k, j) = x;
      }
    tReal t = 1 / w(k, k);
    for (int j = 1; j <= n; ++j) {
      w(k, j) = w(k, j) * t;
      R(k, j) = R(k, j) * t;
    }
    for (int i = 1; i <= n; ++i) {
      if (i == k) continue;
      tReal f = -w(i, k);
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
  L(1, 1) = real_math::sqrt(a(1, 1));
  L(1, 2) = 0;
  L(2, 1) = a(2, 1) / L(1, 1);
  L(2, 2) = real_math::sqrt(a(2, 2) - L(2, 1) * L(2, 1));
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
