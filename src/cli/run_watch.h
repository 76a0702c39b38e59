// One analysis run under watch: a time limit, a progress line on a terminal
// and the end of the program on Ctrl-C.  A helper thread follows the
// engine's drawn count and asks the engine to stop; the engine itself runs
// on the calling thread, so the numbers of a run that completes are exactly
// those of an unwatched run.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "analysis/compute_driver.h"

// What a failed analysis tells the command line's user to do: the option
// to give, and to run the program again.
tRemedyWords CommandLineRemedies();

struct tWatchSettings {
  double max_seconds = 0;                          // 0: no limit
  bool progress = false;                           // show a progress line after a second
  const std::atomic<bool>* interrupted = nullptr;  // set on Ctrl-C; may be null
  std::string label;                               // what the progress line names, e.g. "line 4"
  tRemedyWords remedies = CommandLineRemedies();   // a batch row names its own cells
};

enum class tWatchEnd { Completed, TimedOut, Interrupted };

struct tWatchedRun {
  tWatchEnd end = tWatchEnd::Completed;
  tAnalysis analysis;  // when completed
  int32_t drawn = 0;   // when stopped: the draws made before the stop
};

// Runs the analysis.  A failed run throws EAnalysisFailed, whose message is
// the user's words for the error (the same as the windows show), numbers
// written with `decimal_separator`; a run stopped for the time limit or
// Ctrl-C comes back as such.  The progress line goes to `err` and is erased
// before the function returns.
tWatchedRun RunWatched(const tAnalysis_request& request, const tWatchSettings& settings,
                       char decimal_separator, std::ostream& err);

// "the analysis was stopped when it passed --max-seconds S, after D of N
// draws", S written with `decimal_separator` as the user's other numbers are.
std::string TimeLimitMessage(const tWatchSettings& settings, const tWatchedRun& run,
                             int32_t iterations, char decimal_separator);
