// How another thread follows a run of iterations and stops it, and the
// error a stopped run ends with.  The engines take a tRunControl; the run
// split over threads (split_run.h) publishes the count and looks at `stop`.
#pragma once

#include <atomic>
#include <cstdint>

#include "numeric/errors.h"

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
