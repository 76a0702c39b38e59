// The two engines, step by step; see reference_engines.h.
#include "reference/reference_engines.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "engines/sd_of_difference.h"
#include "reference/reference_numeric.h"

namespace quorrel_reference {
namespace {

// Where values that are formed only for their faults go.
volatile uint64_t g_sink;
void Sink(tReal v) {
  g_sink = real_math::Bits(v).significand;
}

struct Matrices {
  Matrix20 A, B, L, Lt, T, Tt, TtT, LTtT, W, Sigma, C;
  Matrices() {
    for (Matrix20* m : {&A, &B, &L, &Lt, &T, &Tt, &TtT, &LTtT, &W, &Sigma, &C})
      MatrixZero(*m);
  }
};

void SetUpScale(Matrices& m, int32_t n, tReal sd_x, tReal sd_y, tReal r, tReal f, bool scaled) {
  m.A(1, 1) = sd_x * sd_x * (n - 1);
  m.A(2, 2) = sd_y * sd_y * (n - 1);
  m.A(1, 2) = sd_x * sd_y * r * (n - 1);
  m.A(2, 1) = m.A(1, 2);
  if (scaled)
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j)
        m.A(i, j) = f * m.A(i, j);
  RaiseOnFloatingPointFault();  // a fault in A comes before its inversion
  bool invertible = MatrixInverse(m.A, 2, m.B);
  RaiseOnFloatingPointFault();  // and a fault in the inversion before a singular A
  if (!invertible) throw ESingularMatrix();
  Cholesky2x2(m.B, m.L);
  MatrixTranspose(m.L, 2, m.Lt);
  RaiseOnFloatingPointFault();  // and a fault in L before any draw's
}

// Draws T and forms Sigma = inverse of (L (T'T) L').
void DrawSigma(Matrices& m, tDistribution& g1, tDistribution& g2, tDistribution& g3) {
  tReal t1 = real_math::sqrt(g1.RandomValue());
  tReal t2 = real_math::sqrt(g2.RandomValue());
  tReal u = g3.RandomValue();
  m.T(1, 1) = t1;
  m.T(1, 2) = u;
  m.T(2, 1) = 0;
  m.T(2, 2) = t2;
  MatrixTranspose(m.T, 2, m.Tt);
  MatrixMultiply(m.Tt, m.T, 2, m.TtT);
  MatrixMultiply(m.L, m.TtT, 2, m.LTtT);
  MatrixMultiply(m.LTtT, m.Lt, 2, m.W);
  if (!MatrixInverse(m.W, 2, m.Sigma)) throw EDrawnMatrixSingular();
}

// The rest of an iteration's draws and its arithmetic: the mean vector, the
// case's z scores and rho under the drawn parameters, and the case's
// difference.  `accepted_rho` is the rho of the calibrated prior's
// acceptance test; without it rho is formed here, after zx and zy.
tReal CaseDifference(Matrices& m, tDistribution& g3, int32_t n, const tReal* accepted_rho,
                     tReal mean_x, tReal mean_y, tReal case_x, tReal case_y, tTestKind test) {
  tReal z1 = g3.RandomValue();
  tReal z2 = g3.RandomValue();
  tReal root_n = real_math::sqrt(static_cast<tReal>(n));
  tReal mu_x = z1 * m.C(1, 1) / root_n + mean_x;
  tReal mu_y = (z1 * m.C(2, 1) + z2 * m.C(2, 2)) / root_n + mean_y;
  tReal zx = (case_x - mu_x) / real_math::sqrt(m.Sigma(1, 1));
  tReal zy = (case_y - mu_y) / real_math::sqrt(m.Sigma(2, 2));
  tReal rho =
      accepted_rho ? *accepted_rho : m.Sigma(1, 2) / real_math::sqrt(m.Sigma(1, 1) * m.Sigma(2, 2));
  if (test == tTestKind::Unstandardized) {
    // zx, zy and rho are formed for this test too, although it does not use
    // them, so a fault in them ends the run; the sink keeps the compiler
    // from dropping them.
    Sink(zx);
    Sink(zy);
    Sink(rho);
    return ((case_x - mu_x) - (case_y - mu_y)) /
           real_math::sqrt(m.Sigma(1, 1) + m.Sigma(2, 2) - 2 * m.Sigma(1, 2));
  }
  return (zx - zy) / real_math::sqrt(2 - 2 * rho);
}

// Stores Z_i and adds Phi(Z_i) to S, with the floating-point flags read
// where a trapped fault would have stopped the run: after Z_i and after
// Phi(Z_i).
void StoreAndAdd(tDistribution& g3, tReal zi, double& stored, tReal& s) {
  RaiseOnFloatingPointFault();
  tReal phi = g3.Cdf(zi);
  RaiseOnFloatingPointFault();
  stored = static_cast<double>(zi);
  s = s + phi;
}

// An error raised inside an iteration (a singular W, a NaN met by the
// library) comes after any fault the flags still hold, which a trapped
// fault would have reported first.
[[noreturn]] void FirstFaultThenRethrow() {
  RaiseOnFloatingPointFault();
  throw;
}

void Summarize(tDistribution& g3, tReal s, std::vector<double>& store, int32_t n_iter, tReal mean_x,
               tReal sd_x, tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
               bool two_sided, int32_t conf_pct, tTestKind test, tEngine_results& results) {
  tEngine_results out;
  tReal p = s / n_iter * 100;
  RaiseOnFloatingPointFault();
  bool flipped = false;
  if (p > 50) {
    p = 100 - p;
    flipped = true;
  }
  out.pct_estimate = p;
  out.one_tailed_p = p / 100;
  out.two_tailed_p = p / 50;
  QuickSort(1, n_iter, store.data());
  tReal alpha = 100 - conf_pct;
  long long lo, hi;
  if (two_sided) {
    lo = real_math::llrint(((alpha / 2) / 100) * n_iter);
    hi = real_math::llrint(((conf_pct + alpha / 2) / 100) * n_iter) + 1;
  } else {
    lo = real_math::llrint((alpha / 100) * n_iter);
    hi = real_math::llrint((conf_pct / 100.0L) * n_iter) + 1;
  }
  lo = std::clamp<long long>(lo, 1, n_iter);
  hi = std::clamp<long long>(hi, 1, n_iter);
  if (test == tTestKind::Unstandardized) {
    out.zdcc = ((case_x - mean_x) - (case_y - mean_y)) / SD_of_difference(sd_x, sd_y, r);
  } else {
    tReal zX = (case_x - mean_x) / sd_x;
    tReal zY = (case_y - mean_y) / sd_y;
    out.zdcc = (zX - zY) / SD_of_difference(1, 1, r);
  }
  out.zdcc_lower = store[lo - 1];
  out.zdcc_upper = store[hi - 1];
  out.pct_lower = 100 * g3.Cdf(out.zdcc_lower);
  out.pct_upper = 100 * g3.Cdf(out.zdcc_upper);
  if (flipped) {
    tReal lower = out.pct_lower;
    out.pct_lower = 100 - out.pct_upper;
    out.pct_upper = 100 - lower;
  }
  RaiseOnFloatingPointFault();
  results = out;
}

}  // namespace

void Standard_Theory_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                            tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                            bool two_sided, int32_t conf_pct, tEngine_results& results,
                            tTestKind test) {
  if (fixed_seed) {
    RandomSeed1 = 897183450;
    RandomSeed2 = 1841323562;
  }
  ClearFloatingPointFaults();
  auto g1 = std::make_unique<tChi_square_distribution>(n);
  auto g2 = std::make_unique<tChi_square_distribution>(n - 1);
  auto g3 = std::make_unique<tNormal_distribution>(0, 1);
  tReal s = 0;
  auto m = std::make_unique<Matrices>();
  std::vector<double> store(std::max(n_iter, 0));
  SetUpScale(*m, n, sd_x, sd_y, r, 1, false);
  try {
    for (int32_t i = 1; i <= n_iter; ++i) {
      DrawSigma(*m, *g1, *g2, *g3);
      Cholesky2x2(m->Sigma, m->C);
      tReal zi = CaseDifference(*m, *g3, n, nullptr, mean_x, mean_y, case_x, case_y, test);
      StoreAndAdd(*g3, zi, store[i - 1], s);
    }
  } catch (...) {
    FirstFaultThenRethrow();
  }
  Summarize(*g3, s, store, n_iter, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, test, results);
}

void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                             tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                             bool two_sided, int32_t conf_pct, tEngine_results& results,
                             tTestKind test) {
  if (fixed_seed) {
    RandomSeed1 = 897183450;
    RandomSeed2 = 1841323562;
  }
  ClearFloatingPointFaults();
  auto g1 = std::make_unique<tChi_square_distribution>(n - 2);
  auto g2 = std::make_unique<tChi_square_distribution>(n - 3);
  auto g3 = std::make_unique<tNormal_distribution>(0, 1);
  auto g4 = std::make_unique<tUniform_distribution>(0, 1);
  tReal s = 0;
  auto m = std::make_unique<Matrices>();
  std::vector<double> store(std::max(n_iter, 0));
  tReal f = static_cast<tReal>(n - 2) / (n - 1);
  SetUpScale(*m, n, sd_x, sd_y, r, f, true);
  try {
    for (int32_t i = 1; i <= n_iter; ++i) {
      tReal rho;
      while (true) {
        DrawSigma(*m, *g1, *g2, *g3);
        rho = m->Sigma(1, 2) / real_math::sqrt(m->Sigma(1, 1) * m->Sigma(2, 2));
        // A fault ends the run at once: an infinite or NaN rho would be
        // rejected for ever.
        RaiseOnFloatingPointFault();
        if (real_math::isnan(rho)) throw EInvalidOp();
        tReal v = g4->RandomValue();
        if (v * v <= 1 - rho * rho) break;
      }
      Cholesky2x2(m->Sigma, m->C);
      tReal zi = CaseDifference(*m, *g3, n, &rho, mean_x, mean_y, case_x, case_y, test);
      StoreAndAdd(*g3, zi, store[i - 1], s);
    }
  } catch (...) {
    FirstFaultThenRethrow();
  }
  Summarize(*g3, s, store, n_iter, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, test, results);
}

}  // namespace quorrel_reference
