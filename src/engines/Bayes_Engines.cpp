// The two Monte Carlo engines.
//
// A run has three parts:
//   1. set-up: the generator's start, the distribution objects, the scale
//      matrix A (or the calibrated A*), its inverse B and the factor L of B;
//   2. the iterations: for each a covariance matrix Sigma and a mean vector
//      from the posterior, the case's difference Z_i under them, Z_i stored
//      as a double for the limits and Phi(Z_i) added to S in the order of i;
//   3. the summary: the tail percentage P with its flip, the two limits read
//      off fixed order statistics of the stored doubles, and Z-DCC from the
//      sample statistics.
// How the iterations are spread over threads without changing a digit is
// the business of split_run.h; this file says what one iteration is.
//
// The posterior draw of Sigma is Bartlett's construction of a Wishart
// matrix (M. S. Bartlett, "On the theory of statistical regression", Proc.
// Roy. Soc. Edinburgh 53, 1933; P. L. Odell and A. H. Feiveson, "A
// numerical procedure to generate a sample covariance matrix", JASA 61,
// 1966): with T upper triangular, chi-square roots on its diagonal and a
// standard normal above it, L (T'T) L' is Wishart with scale B = L L', and
// its inverse is inverse-Wishart with scale B^-1.
#include "engines/Bayes_Engines.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "engines/sd_of_difference.h"
#include "engines/split_run.h"
#include "engines/usable_processors.h"
#include "numeric/distrib.h"
#include "numeric/float_faults.h"
#include "numeric/kernels.h"
#include "numeric/matrix_handling.h"

using namespace kernels;

namespace {

std::atomic<unsigned> g_engine_threads{0};

// Everything an iteration needs that stays fixed for the whole run.
struct tRunConstants {
  tGammaSampler g1;
  tGammaSampler g2;
  tNormalSampler g3;
  tReal uniform_a = 0;     // G4, the uniform of the acceptance test
  tReal uniform_span = 1;  // b - a of G4
  tMatrix2 l, lt;
  tReal root_n = 0;
  tReal mean_x = 0, mean_y = 0, case_x = 0, case_y = 0;
};

// One posterior draw and the case's difference under it.  Draw makes every
// use of the random stream (and, between the variates, the inverse-Wishart
// matrix they define); Value turns the draws into Z_i; Summand is Phi(Z_i).
template <bool kCalibrated, bool kUnstandardized>
struct tPosteriorIteration {
  const tRunConstants& k;
  tStandardNormalCdf phi;

  struct tDraws {
    tMatrix2 sigma;
    tReal rho = 0, z1 = 0, z2 = 0;
  };

  // Sigma = inverse of L (T'T) L', T = [t1 u; 0 t2].
  tMatrix2 DrawSigma(tUniformStream& uniform) const {
    const tReal t1 = real_math::sqrt(k.g1.Draw(uniform));
    const tReal t2 = real_math::sqrt(k.g2.Draw(uniform));
    const tReal u = k.g3.Draw(uniform);
    const tMatrix2 t{t1, u, 0, t2};
    const tMatrix2 w = Multiply(Multiply(k.l, Multiply(Transpose(t), t)), k.lt);
    tMatrix2 sigma;
    if (!Inverse(w, sigma)) [[unlikely]]
      throw EDrawnMatrixSingular();
    return sigma;
  }

  static tReal Rho(const tMatrix2& sigma) {
    return sigma.a12 / real_math::sqrt(sigma.a11 * sigma.a22);
  }

  void Draw(tUniformStream& uniform, tDraws& d) const {
    if constexpr (kCalibrated) {
      // Accepts Sigma with probability sqrt(1 - rho^2): v^2 <= 1 - rho^2.
      while (true) {
        d.sigma = DrawSigma(uniform);
        d.rho = Rho(d.sigma);
        const tReal v = uniform.Next() * k.uniform_span + k.uniform_a;
        if (v * v <= 1 - d.rho * d.rho) break;
        // A rho that no v can accept comes from a fault (a NaN would be
        // rejected for ever): end the run with it.  Faults behind an
        // acceptable rho are found by the flags.
        if (!(real_math::fabs(d.rho) < 1)) [[unlikely]] {
          RaiseOnFloatingPointFault();
          CheckNotNaN(d.rho);
        }
      }
    } else {
      d.sigma = DrawSigma(uniform);
    }
    d.z1 = k.g3.Draw(uniform);
    d.z2 = k.g3.Draw(uniform);
  }

  // The mean vector mu = (mean_x, mean_y) + C z / sqrt(n), C the Cholesky
  // factor of Sigma, and the case's difference under (mu, Sigma).
  tReal Value(const tDraws& d) const {
    const tMatrix2 c = Cholesky(d.sigma);
    const tReal mu_x = d.z1 * c.a11 / k.root_n + k.mean_x;
    const tReal mu_y = (d.z1 * c.a21 + d.z2 * c.a22) / k.root_n + k.mean_y;
    const tReal zx = (k.case_x - mu_x) / real_math::sqrt(d.sigma.a11);
    const tReal zy = (k.case_y - mu_y) / real_math::sqrt(d.sigma.a22);
    const tReal rho = kCalibrated ? d.rho : Rho(d.sigma);
    if constexpr (kUnstandardized) {
      // The raw difference does not use zx, zy and rho, but they are formed
      // all the same, so that a fault in them (an overflowing or vanishing
      // product of the variances, say) ends the run as it ends the plain
      // computation.  The test keeps the compiler from dropping them.
      if (!(real_math::isfinite(zx) && real_math::isfinite(zy) && real_math::isfinite(rho)))
          [[unlikely]]
        RaiseOnFloatingPointFault();
      const tMatrix2& s = d.sigma;
      return ((k.case_x - mu_x) - (k.case_y - mu_y)) / real_math::sqrt(s.a11 + s.a22 - 2 * s.a12);
    } else {
      return (zx - zy) / real_math::sqrt(2 - 2 * rho);
    }
  }

  tReal Summand(tReal z) const { return phi(z); }
};

// The iterations of a run: the stored Z_i (n_iter doubles) and S.
template <bool kCalibrated, bool kUnstandardized>
tReal RunIterations(const tRunConstants& constants, int32_t n_iter, tRunControl* control,
                    tUniformStream& uniform, double* store) {
  const tPosteriorIteration<kCalibrated, kUnstandardized> iteration{constants, {}};
  split_run::tSplitRun run(iteration, n_iter, EngineThreads(), control, store);
  return run.Run(uniform);
}

tMatrix2 Block(const Matrix20& m) {
  return {m(1, 1), m(1, 2), m(2, 1), m(2, 2)};
}

// Rounds to the nearest integer, halves to the even neighbour.
long long RoundHalfEven(tReal x) {
  return real_math::llrint(x);
}

// The 1-based positions of the two limits among the ascending draws, kept
// inside the sample whatever the level.
void LimitPositions(int32_t n_iter, int32_t conf_pct, bool two_sided, int32_t& lo, int32_t& hi) {
  const tReal alpha = 100 - conf_pct;
  long long l, h;
  if (two_sided) {
    l = RoundHalfEven(((alpha / 2) / 100) * n_iter);
    h = RoundHalfEven(((conf_pct + alpha / 2) / 100) * n_iter) + 1;
  } else {
    l = RoundHalfEven((alpha / 100) * n_iter);
    h = RoundHalfEven((conf_pct / 100.0L) * n_iter) + 1;
  }
  lo = static_cast<int32_t>(std::clamp<long long>(l, 1, n_iter));
  hi = static_cast<int32_t>(std::clamp<long long>(h, 1, n_iter));
}

// L, the lower triangular factor of the inverse of the scale matrix of the
// controls' sums of squares and products (for the calibrated prior
// rescaled to n - 2).  The flags are tested after each step, so that the
// error named is the first fault.
tMatrix2 ScaleFactor(bool calibrated, int32_t n, tReal sd_x, tReal sd_y, tReal r) {
  Matrix20 a, b, l;
  MatrixZero(a);
  MatrixZero(b);
  MatrixZero(l);
  a(1, 1) = sd_x * sd_x * (n - 1);
  a(2, 2) = sd_y * sd_y * (n - 1);
  a(1, 2) = sd_x * sd_y * r * (n - 1);
  a(2, 1) = a(1, 2);
  if (calibrated) {
    const tReal f = static_cast<tReal>(n - 2) / (n - 1);
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j)
        a(i, j) = f * a(i, j);
  }
  RaiseOnFloatingPointFault();
  const bool invertible = MatrixInverse(a, 2, b);
  RaiseOnFloatingPointFault();
  if (!invertible) throw ESingularMatrix();
  Cholesky2x2(b, l);
  RaiseOnFloatingPointFault();
  return Block(l);
}

// Set-up of a run: the distribution objects, in the order the prior names
// them (a sample too small for the calibrated prior fails here with the
// library's error), the factor of the scale matrix, and what every
// iteration needs.
tRunConstants SetUpRun(bool calibrated, int32_t n, tReal mean_x, tReal sd_x, tReal mean_y,
                       tReal sd_y, tReal r, tReal case_x, tReal case_y) {
  const tChi_square_distribution g1(calibrated ? n - 2 : n);
  const tChi_square_distribution g2(calibrated ? n - 3 : n - 1);
  const tNormal_distribution g3(0, 1);
  const tUniform_distribution g4(0, 1);
  const tMatrix2 l = ScaleFactor(calibrated, n, sd_x, sd_y, r);
  return tRunConstants{tGammaSampler(g1),
                       tGammaSampler(g2),
                       tNormalSampler(g3),
                       g4.LowerEnd(),
                       g4.UpperEnd() - g4.LowerEnd(),
                       l,
                       Transpose(l),
                       real_math::sqrt(static_cast<tReal>(n)),
                       mean_x,
                       mean_y,
                       case_x,
                       case_y};
}

// The shared body of both engines.
void RunEngine(bool calibrated, int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x,
               tReal sd_x, tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
               bool two_sided, int32_t conf_pct, tEngine_results& results, tTestKind test,
               tRunControl* control, tDrawSummary* draws) {
  if (fixed_seed) ResetUniformRandom();
  ClearFloatingPointFlags();

  const tRunConstants constants =
      SetUpRun(calibrated, n, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y);
  const tNormal_distribution g3(0, 1);
  // With no draws there is nothing to summarise (for n_iter = 0 the tail
  // percentage would be 0/0, an invalid operation).
  if (n_iter < 1) throw EInvalidOp();

  // The iterations; the generator is left where the plain loop leaves it,
  // also when a fault ends the run.
  const bool unstandardized = test == tTestKind::Unstandardized;
  auto iterations =
      calibrated ? (unstandardized ? RunIterations<true, true> : RunIterations<true, false>)
                 : (unstandardized ? RunIterations<false, true> : RunIterations<false, false>);
  const std::unique_ptr<double[]> store(new double[n_iter]);
  tUniformStream uniform;
  uniform.Load();
  tReal s;
  try {
    s = iterations(constants, n_iter, control, uniform, store.get());
  } catch (...) {
    uniform.Store();
    throw;
  }
  uniform.Store();

  // The summary, written to the caller's record only when complete.
  ClearFloatingPointFlags();
  tEngine_results out;
  tReal p = s / n_iter * 100;
  const bool flipped = p > 50;
  if (flipped) p = 100 - p;
  out.pct_estimate = p;
  out.one_tailed_p = p / 100;
  out.two_tailed_p = p / 50;
  if (unstandardized) {
    out.zdcc = ((case_x - mean_x) - (case_y - mean_y)) / SD_of_difference(sd_x, sd_y, r);
  } else {
    const tReal zx = (case_x - mean_x) / sd_x;
    const tReal zy = (case_y - mean_y) / sd_y;
    out.zdcc = (zx - zy) / SD_of_difference(1, 1, r);
  }
  int32_t lo, hi;
  LimitPositions(n_iter, conf_pct, two_sided, lo, hi);
  double at_lo, at_hi;
  SelectOrderStatistics(store.get(), n_iter, lo, hi, at_lo, at_hi);
  out.zdcc_lower = at_lo;
  out.zdcc_upper = at_hi;
  out.pct_lower = 100 * g3.Cdf(out.zdcc_lower);
  out.pct_upper = 100 * g3.Cdf(out.zdcc_upper);
  if (flipped) {
    const tReal lower = out.pct_lower;
    out.pct_lower = 100 - out.pct_upper;
    out.pct_upper = 100 - lower;
  }
  RaiseOnFloatingPointFault();
  // The bin counts of the draws for a figure, on request; they change none
  // of the results.
  tDrawSummary summary;
  if (draws != nullptr) summary = SummarizeDraws(store.get(), n_iter, at_lo, at_hi);
  results = out;
  if (draws != nullptr) *draws = std::move(summary);
}

}  // namespace

void SetEngineThreads(unsigned count) {
  g_engine_threads.store(count);
}

unsigned EngineThreads() {
  const unsigned count = g_engine_threads.load();
  if (count != 0) return count;
  // Looked up at each run: the processors this process may use, not the
  // machine's (a job on a shared node, a process under taskset).
  return UsableProcessors();
}

tPilotCount CalibratedPilot(int32_t n, tReal sd_x, tReal sd_y, tReal r, int32_t round,
                            const std::function<bool(const tPilotCount&)>& more) {
  // The set-up tests the flags: one left set by earlier, unrelated code
  // would fail it, and the pilot's own faults are the run's to report.
  const tFloatingPointFlagsSaved flags;
  const tRunConstants k = SetUpRun(true, n, 0, sd_x, 0, sd_y, r, 0, 0);
  const tPosteriorIteration<true, false> iteration{k, {}};
  // A stream of its own from the fixed start: the process-wide generator is
  // not touched.
  tUniformStream uniform;
  tPilotCount count;
  do {
    for (int32_t p = 0; p < round; ++p) {
      const tReal rho = iteration.Rho(iteration.DrawSigma(uniform));
      const tReal v = uniform.Next() * k.uniform_span + k.uniform_a;
      if (v * v <= 1 - rho * rho) {
        ++count.accepted;
        // The mean vector's two draws, as the run makes them.
        k.g3.Draw(uniform);
        k.g3.Draw(uniform);
      }
    }
    count.proposals += round;
  } while (round > 0 && more && more(count));
  return count;
}

int32_t CalibratedPilotAcceptances(int32_t n, tReal sd_x, tReal sd_y, tReal r, int32_t proposals) {
  return static_cast<int32_t>(CalibratedPilot(n, sd_x, sd_y, r, proposals).accepted);
}

void Standard_Theory_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                            tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                            bool two_sided, int32_t conf_pct, tEngine_results& results,
                            tTestKind test, tRunControl* control, tDrawSummary* draws) {
  RunEngine(false, n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, results, test, control, draws);
}

void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                             tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                             bool two_sided, int32_t conf_pct, tEngine_results& results,
                             tTestKind test, tRunControl* control, tDrawSummary* draws) {
  RunEngine(true, n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, results, test, control, draws);
}
