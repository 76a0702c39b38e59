#include "cli/run_watch.h"

#include "analysis/error_texts.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>

#include "analysis/text_format.h"

namespace {

// What a failed analysis tells the command line's user to do.
const tRemedyWords kCliRemedies{"give --prior standard", "run quorrel-report again"};

using tClock = std::chrono::steady_clock;

// How often the watcher looks at the clock, the Ctrl-C flag and the count.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr double kProgressAfterSeconds = 1.0;

// Whether a thread of its own watches the run.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
constexpr bool kWatcherThread = false;
#else
constexpr bool kWatcherThread = true;
#endif

// Why the run must stop after `elapsed` seconds, or Completed to go on.
tWatchEnd StopReason(const tWatchSettings& settings, double elapsed) {
  if (settings.interrupted != nullptr && settings.interrupted->load()) {
    return tWatchEnd::Interrupted;
  }
  if (settings.max_seconds > 0 && elapsed >= settings.max_seconds) return tWatchEnd::TimedOut;
  return tWatchEnd::Completed;
}

// "quorrel-report: line 4: 8192 of 1000000 draws (0.8%)"
std::string ProgressLine(const tWatchSettings& settings, int32_t drawn, int32_t iterations) {
  return "quorrel-report: " + settings.label + (settings.label.empty() ? "" : ": ") +
         std::to_string(drawn) + " of " + std::to_string(iterations) + " draws (" +
         FormatFixed(100.0 * drawn / iterations, 0, 1, '.') + "%)";
}

}  // namespace

tWatchedRun RunWatched(const tAnalysis_request& request, const tWatchSettings& settings,
                       char decimal_separator, std::ostream& err) {
  tWatchedRun run;
  if (settings.max_seconds <= 0 && !settings.progress && settings.interrupted == nullptr) {
    try {
      run.analysis = RunAnalysis(request);
    } catch (...) {
      throw EAnalysisFailed(std::current_exception(), request, decimal_separator, kCliRemedies);
    }
    return run;
  }

  tRunControl control;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  tWatchEnd reason = tWatchEnd::Completed;
  const tClock::time_point start = tClock::now();
  std::size_t shown = 0;  // length of the progress line on the screen

  // One look at the clock, the Ctrl-C flag and the count.
  auto look = [&] {
    const double elapsed = std::chrono::duration<double>(tClock::now() - start).count();
    if (reason == tWatchEnd::Completed) {
      reason = StopReason(settings, elapsed);
      if (reason != tWatchEnd::Completed) control.stop.store(true);
    }
    if (settings.progress && elapsed >= kProgressAfterSeconds) {
      const std::string line = ProgressLine(settings, control.drawn.load(), request.iterations);
      err << '\r' << line;
      if (line.size() < shown) err << std::string(shown - line.size(), ' ');
      err.flush();
      shown = std::max(shown, line.size());
    }
  };
  auto clear_line = [&] {
    if (shown > 0) {
      err << '\r' << std::string(shown, ' ') << '\r';
      err.flush();
    }
  };

  // A watcher that the system cannot start (too little memory for its
  // stack) ends the analysis as any shortage of memory does.  A build
  // without threads (WebAssembly's) looks each time the run has grown, from
  // the run itself.
  std::thread watcher;
  if constexpr (kWatcherThread) {
    try {
      watcher = std::thread([&] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, kPollInterval, [&] { return done; }))
          look();
        clear_line();
      });
    } catch (const std::system_error&) {
      throw EAnalysisFailed(std::current_exception(), request, decimal_separator, kCliRemedies);
    }
  } else {
    control.progress = [](tRunControl&, void* context) {
      (*static_cast<decltype(look)*>(context))();
    };
    control.progress_context = &look;
  }

  auto stop_watching = [&] {
    if constexpr (kWatcherThread) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
      }
      finished.notify_one();
      watcher.join();
    } else {
      clear_line();
    }
  };

  try {
    run.analysis = RunAnalysis(request, &control);
  } catch (const ERunStopped&) {
    stop_watching();
    run.end = reason;
    run.drawn = control.drawn.load();
    return run;
  } catch (...) {
    stop_watching();
    throw EAnalysisFailed(std::current_exception(), request, decimal_separator, kCliRemedies);
  }
  // A run that completed although a stop was asked for at its very end
  // keeps its numbers.
  stop_watching();
  return run;
}

std::string TimeLimitMessage(const tWatchSettings& settings, const tWatchedRun& run,
                             int32_t iterations, char decimal_separator) {
  std::string seconds = FormatGeneral(settings.max_seconds, 6);
  std::replace(seconds.begin(), seconds.end(), '.', decimal_separator);
  return "the analysis was stopped when it passed --max-seconds " + seconds + ", after " +
         std::to_string(run.drawn) + " of " + std::to_string(iterations) + " draws";
}
