// The two Monte Carlo engines, one per prior.  Each fills a caller-owned
// tEngine_results from the control statistics and one case's two scores.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engines/draw_summary.h"
#include "numeric/errors.h"
#include "numeric/real.h"

// The eight results of an analysis, in this order.
struct tEngine_results {
  tReal one_tailed_p = 0;
  tReal two_tailed_p = 0;
  tReal pct_estimate = 0;
  tReal pct_lower = 0;
  tReal pct_upper = 0;
  tReal zdcc = 0;
  tReal zdcc_lower = 0;
  tReal zdcc_upper = 0;
};

// An engine could not invert the scale matrix of the control sample or a
// drawn matrix; the run ends and the caller's results keep their contents.
class ESingularMatrix : public Exception {
 public:
  ESingularMatrix()
      : Exception("The covariance matrix of the control sample cannot be inverted.") {}

 protected:
  explicit ESingularMatrix(std::string message) : Exception(std::move(message)) {}
};

// A covariance matrix drawn during the run could not be inverted in
// extended precision (the control sample's own matrix was fine): a
// correlation very near 1 or -1, or standard deviations far from 1.
class EDrawnMatrixSingular : public ESingularMatrix {
 public:
  EDrawnMatrixSingular()
      : ESingularMatrix("A covariance matrix drawn from the posterior cannot be inverted.") {}
};

// A run was stopped through its tRunControl before it completed; the
// caller's results keep their contents.
class ERunStopped : public Exception {
 public:
  ERunStopped() : Exception("The analysis was stopped before it was complete.") {}
};

// Lets another thread follow a run and stop it.  The engine publishes how
// many iterations of the run are done (in the order of the run; the count
// never goes down and reaches n_iter when the run completes), and every
// thread looks at `stop` before each iteration; a stopped run ends with
// ERunStopped.
// Neither changes anything in a run that completes: a stopped run's numbers
// are thrown away, and the next run starts the generator afresh.
struct tRunControl {
  std::atomic<bool> stop{false};
  std::atomic<int32_t> drawn{0};
  // Called, when set, each time `drawn` has grown (a few dozen times in a
  // run), on the thread that grew it while the run's other threads wait for
  // it: for a caller that has no thread of its own to follow the run (a
  // build without threads).  It may set `stop`.
  void (*progress)(tRunControl& control, void* context) = nullptr;
  void* progress_context = nullptr;
};

// Which difference the engines evaluate: the case's standardized difference
// (z on X minus z on Y) or the unstandardized one (X minus Y in raw units).
enum class tTestKind { Standardized, Unstandardized };

// How many threads a run uses.  Each thread makes whole iterations, draws
// included, on its own stretch of the random stream, and the run keeps
// exactly the iterations of the one-thread run (see split_run.h).  0, the
// default, means one per processor the process may use (its affinity mask
// and CPU quota, UsableProcessors); a run uses at most 64.  The
// results are the same in every digit whatever the count.
void SetEngineThreads(unsigned count);
unsigned EngineThreads();

// Both engines: n_iter posterior draws from the generator's fixed start
// (when fixed_seed) and the eight results written to `results` only when
// the run completes.  With `test` unstandardized each draw evaluates the
// case's raw difference, ((case_x - mu_x) - (case_y - mu_y)) / sqrt(S11 +
// S22 - 2 S12), and Z-DCC is ((case_x - mean_x) - (case_y - mean_y)) /
// SD_of_difference(sd_x, sd_y, r).  The limits' positions among the sorted
// draws are kept within 1 ... n_iter.  A run ends with an error, `results`
// untouched, when
//   - a distribution cannot be set up (the library's EArgumentError; n = 3
//     under the calibrated prior fails with id 1301),
//   - the scale matrix cannot be inverted (ESingularMatrix) or a drawn
//     matrix cannot (EDrawnMatrixSingular, one kind of ESingularMatrix),
//   - a floating-point fault occurs (the library's EInvalidOp, EZeroDivide
//     or EOverflow, the first fault in the order of the computation), or
//     n_iter is below 1 (EInvalidOp: there is nothing to summarise),
//   - the normal probability of a draw cannot be evaluated (the library's
//     EArgumentError 1361, for a difference of 65536 SDs or more),
//   - `control` asked it to stop (ERunStopped).
// `draws`, when given, receives the summary of the stored draws around the
// two limits (SummarizeDraws) when the run completes; it changes nothing
// in the results.

// Standard-theory (Jeffreys) prior.
void Standard_Theory_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                            tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                            bool two_sided, int32_t conf_pct, tEngine_results& results,
                            tTestKind test = tTestKind::Standardized,
                            tRunControl* control = nullptr, tDrawSummary* draws = nullptr);

// Calibrated prior (fewer degrees of freedom, rescaled scale matrix and an
// acceptance step on each drawn covariance matrix).
void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                             tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                             bool two_sided, int32_t conf_pct, tEngine_results& results,
                             tTestKind test = tTestKind::Standardized,
                             tRunControl* control = nullptr, tDrawSummary* draws = nullptr);

// What a pilot of the calibrated prior counted.
struct tPilotCount {
  int64_t proposals = 0;
  int64_t accepted = 0;
};

// A pilot for the cost of a calibrated-prior run: covariance matrices
// proposed as such a run proposes them from the generator's fixed start,
// counted with how many of them its acceptance step accepts.  A run needs
// about proposals / accepted proposals per draw.  The proposals come in
// rounds of `round`; after each, `more` is asked with the counts so far
// whether to go on (none: one round).  The process-wide generator is left
// as it was, and so are the floating-point flags, whose state before the
// pilot does not change its counts.  Fails as a run's set-up fails (a
// sample below 4, a scale matrix that cannot be inverted) and when a
// proposed matrix cannot be inverted.
tPilotCount CalibratedPilot(int32_t n, tReal sd_x, tReal sd_y, tReal r, int32_t round,
                            const std::function<bool(const tPilotCount&)>& more = nullptr);

// The accepted count of a pilot of `proposals` proposals.
int32_t CalibratedPilotAcceptances(int32_t n, tReal sd_x, tReal sd_y, tReal r, int32_t proposals);
