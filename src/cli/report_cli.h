// quorrel-report: one analysis (or a CSV file of them) from the command line,
// through the same reading, checking, engines and report as the worksheet.
#pragma once

#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/compute_driver.h"
#include "cli/run_watch.h"
#include "cli/text_encoding.h"

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitEngineError = 1;    // an engine (or file) error ended a run
inline constexpr int kExitRefused = 2;        // an input value was refused
inline constexpr int kExitUsage = 64;         // the command line itself is wrong
inline constexpr int kExitInterrupted = 130;  // Ctrl-C ended the program
inline constexpr int kExitTerminated = 143;   // SIGTERM ended the program

// --shard K/N: the K-th of N parts of a batch (see shard.h).
struct tShard {
  unsigned index = 1;  // K, from 1
  unsigned count = 1;  // N
};

// The options of one invocation, as given on the command line.
struct tCliOptions {
  tAnalysisOptions analysis;  // --test, --prior, --limits and --notes
  bool json = false;
  bool help = false;
  bool version = false;
  std::optional<std::string> batch_file;
  std::optional<std::string> pdf_file;  // --pdf: the report as a PDF file too
  std::optional<char> decimal_separator;
  std::optional<char> batch_decimal_separator;  // of the batch file's values
  std::optional<char> output_separator;         // of the batch output: ',', ';' or '	'
  tEncoding encoding = tEncoding::Utf8;         // of the batch file
  double max_seconds = 0;                       // each analysis's time limit; 0: none
  std::vector<std::string> values;              // the eight value texts, in field order
  unsigned threads = 0;                         // --threads; 0: the processors the process may use
  std::optional<tShard> shard;                  // --shard: one part of a batch
  bool progress = false;  // --progress: the batch's progress also off a terminal
};

// What the program learns from its surroundings rather than its arguments.
struct tCliRuntime {
  bool progress = false;                           // standard error is a terminal
  const std::atomic<bool>* interrupted = nullptr;  // set on Ctrl-C or SIGTERM
  const std::atomic<int>* stop_signal = nullptr;   // which of the two (SIGINT when unset)
  // The draws of each analysis.  The program always makes kIterations;
  // tests of the flow ask for short runs.
  int32_t iterations = kIterations;
};

// A run ended by a signal: status 130 and "interrupted" for Ctrl-C (SIGINT),
// 143 and "terminated" for SIGTERM.
int StoppedStatus(const tCliRuntime& runtime);
std::string StoppedWord(const tCliRuntime& runtime);

// Parses the arguments (without the program name).  On a usage error returns
// false with `problem` set.
bool ParseCommandLine(const std::vector<std::string>& args, tCliOptions& options,
                      std::string& problem);

// A value as the worksheet's field would hold it had the user typed it:
// every character goes through the worksheet's key filter, so a comma
// becomes a point.  Characters the filter would refuse are kept, so that the
// number reader refuses them with its own message (or skips them, as it
// skips spaces).
std::string TypedValue(const std::string& text);

// Notes text as notes lines: a CR, a LF or CR LF each start a new line.
void AddNotes(const std::string& text, std::vector<std::string>& notes);

// The watch over each analysis that the options and the runtime ask for.
tWatchSettings WatchSettings(const tCliOptions& options, const tCliRuntime& runtime);

// One analysis of `entry`, as the worksheet's Compute would read it: its
// fields are read and checked in order, and the first refusal goes to
// `messages` and ends it (nullopt); otherwise the analysis of `iterations`
// draws runs under `watch`.  Errors of the run propagate as RunWatched's do.
std::optional<tWatchedRun> ReadAndRun(const tWorksheetEntry& entry, tMessageSink& messages,
                                      char decimal_separator, const tWatchSettings& watch,
                                      int32_t iterations, std::ostream& err);

// The whole program: parses `args`, runs, writes to `out` and `err`, and
// returns the exit status.  `default_separator` is the decimal separator of
// the user's locale, used unless --decimal-separator says otherwise.
int RunQuorrelReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     char default_separator, const tCliRuntime& runtime = {});
