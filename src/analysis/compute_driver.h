// One analysis from the worksheet's field texts to the finished numbers:
// read and check the fields, save the control data, run the engine of the
// chosen prior, compute the z scores.  Touches no window.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/platform_interfaces.h"
#include "engines/Bayes_Engines.h"
#include "numeric/real.h"

enum class tPrior { Calibrated, StandardTheory };
enum class tLimits { TwoSided, OneSidedLower, OneSidedUpper };

// Which prior a test runs with.  The standardized test runs with the prior
// the user chooses, the calibrated one unless told otherwise; the calibrated
// prior is calibrated for the standardized difference, so the unstandardized
// test always runs with the standard-theory prior, whatever was asked.
bool PriorIsChosen(tTestKind test);
tPrior PriorForTest(tTestKind test, std::optional<tPrior> asked);

// The choices of one analysis: the test, the prior asked for, the limits and
// the notes lines.  The worksheet, the command line and a batch row each fill
// one, and the request carries it to the engines, the report and the error
// texts (Compute sets its prior only when the user takes the standard-theory
// prior instead of a long calibrated run).
struct tAnalysisOptions {
  tTestKind test = tTestKind::Standardized;
  std::optional<tPrior> prior;  // unset: the test's default prior
  tLimits limits = tLimits::TwoSided;
  std::vector<std::string> notes;
  // The prior the analysis runs with (PriorForTest).
  tPrior Prior() const { return PriorForTest(test, prior); }
  // A prior was asked for that the test does not run with.
  bool PriorOverruled() const { return prior.has_value() && *prior != Prior(); }
};

// Fixed settings of every analysis.
inline constexpr int32_t kIterations = 1000000;
inline constexpr int32_t kConfidencePercent = 95;

// One analysis as the user asked for it.
struct tAnalysis_request {
  tReal mean_x = 0;
  tReal sd_x = 0;
  tReal mean_y = 0;
  tReal sd_y = 0;
  tReal r = 0;
  int32_t n = 0;
  tReal case_x = 0;
  tReal case_y = 0;
  tAnalysisOptions options;
  // The number of posterior draws.  Always kIterations in the program; tests
  // that check the flow rather than the numbers ask for short runs.
  int32_t iterations = kIterations;
};

// A finished analysis: the request, the case's z scores and the results,
// with the summary of the posterior draws for a figure.
struct tAnalysis {
  tAnalysis_request request;
  tReal z_x = 0;
  tReal z_y = 0;
  tEngine_results results;
  tDrawSummary draws;
};

// The captions of the eight input labels, field 1 first.
extern const std::array<const char*, 8> FieldCaptions;

// Runs the engine of the prior the request's options run with and computes
// the z scores.  Throws what the engine throws; the request must have passed
// every check.
// `control`, when given, lets another thread follow the run and stop it.
tAnalysis RunAnalysis(const tAnalysis_request& request, tRunControl* control = nullptr);

// What the worksheet hands to Compute: the eight field texts as they stand,
// the options and the notes lines.
struct tWorksheetEntry {
  std::array<std::string, 8> texts;
  tAnalysisOptions options;
};

// The outcome of Compute: the index (0 to 7) of the first field that was
// refused (its message already shown), or a run that the user stopped (at
// the question about a long run, or while it ran), or the finished analysis.
struct tComputeOutcome {
  std::optional<int> refused_field;
  bool stopped = false;
  // The data file could not be saved for a lasting reason (see below).
  bool save_failed = false;
  tAnalysis analysis;
  bool Refused() const { return refused_field.has_value(); }
};

// Runs the engine for `request` into `analysis` as RunAnalysis does; returns
// false when the user stopped the run (nothing is written then).  A window
// runs it off its event loop, with a progress display and a way to stop.
using tEngineRunner = std::function<bool(const tAnalysis_request& request, tAnalysis& analysis)>;

// The remedies of a failed analysis that name a front end's controls (the
// worksheet's radio buttons and buttons, the command line's options), each a
// verb phrase.  The front end hands its own.
struct tRemedyWords {
  std::string use_standard_theory = "use the standard-theory prior";  // "For a smaller sample, ..."
  std::string run_again = "try again";  // "Close other programs and ..."
};

// How Compute runs: the number of posterior draws (kIterations in the
// program; tests ask for short runs) and the runner (RunAnalysis on the
// calling thread when empty).
struct tComputeOptions {
  int32_t iterations = kIterations;
  tEngineRunner runner;
  // Whether a lasting failure to save the data file is told (the worksheet
  // tells it once a session, not at every Compute).
  bool tell_save_failure = true;
  tRemedyWords remedies;  // the front end's words for what to do after a failure
};

// Said after the message of a lasting failure to save the data file.
extern const char* const kSaveFailureGoesOn;

// Runs longer than this (in seconds, on this machine) are announced first.
inline constexpr double kLongRunSeconds = 60;

// The pilot that estimates a calibrated-prior run's cost proposes in rounds
// of kPilotRound.  After kPilotProposals proposals it ends when the run is
// clearly short; otherwise it goes on until it has accepted kPilotAccepted
// proposals (a steady rate: about 7% standard error) and lasted
// kPilotMinSeconds (a steady time), or for at most kPilotMaxSeconds.
inline constexpr int32_t kPilotRound = 2000;
inline constexpr int32_t kPilotProposals = 20000;
inline constexpr int64_t kPilotAccepted = 200;
inline constexpr double kPilotMinSeconds = 0.05;
inline constexpr double kPilotMaxSeconds = 0.5;

// The expected duration of a run of `iterations` draws under the calibrated
// prior, from a pilot of `proposals` proposals of which `accepted` were
// accepted and which took `pilot_seconds` on one thread: the run makes the
// draws it needs `threads` at a time, so its cost is that of the proposals
// it needs shared among them, plus about a second for everything else.
// With no proposal accepted the result is a lower bound.
double CalibratedRunSeconds(int32_t iterations, int64_t proposals, int64_t accepted,
                            double pilot_seconds, double threads = 1);

// The expected duration of `request`'s run, measured by a pilot on this
// machine; empty for a run with the standard-theory prior (whose runs take about a
// second) and when the pilot fails (the run itself will then report).
// Nothing run before it changes it, not even a floating-point flag left set.
std::optional<double> ExpectedRunSeconds(const tAnalysis_request& request);

// The question put before a run expected to last `seconds`, and its three
// answers, in this order: go on, use the standard-theory prior, cancel.
std::string LongRunQuestion(double seconds);
extern const std::array<const char*, 3> LongRunChoices;

// Step 1 of Compute on its own: reads and checks the eight texts in field
// order with their captions (first refusal wins, later fields unread).
// Fills the request's numbers, takes the entry's options and returns nothing when every
// field passes, otherwise returns the index (0 to 7) of the refused field,
// whose message has been shown.  Nothing is saved.
std::optional<int> ReadEntry(const tWorksheetEntry& entry, tMessageSink& messages,
                             tAnalysis_request& request, char decimal_separator);

// The headless steps of Compute, in order: read and check the fields (first
// refusal wins, later fields unread), SaveCurrentData into `data_folder`,
// for a calibrated-prior run expected to last longer than kLongRunSeconds
// the question whether to go on, use the standard-theory prior or cancel,
// busy pointer, engine, normal pointer (also when the engine fails), z scores.
// An error of the data file that trying again could mend (a full disk)
// propagates to the caller and ends the analysis, so that the user frees
// space and computes again.  A lasting one (EInOutError::Lasting: a folder
// that cannot be written or reached, a folder in the file's place) would
// end every analysis: it is told as a warning naming the file and the
// reason (when options.tell_save_failure), and the analysis goes on.  An
// error of the engine propagates as EAnalysisFailed, whose message tells
// the user what happened.
tComputeOutcome ComputeAnalysis(const tWorksheetEntry& entry, const std::string& data_folder,
                                tUserDialogs& dialogs, char decimal_separator,
                                const tComputeOptions& options = {});
