#include "analysis/compute_driver.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "analysis/Metrics_Papers.h"
#include "analysis/data_file.h"
#include "analysis/error_texts.h"
#include "analysis/io_error.h"

const std::array<const char*, 8> FieldCaptions = {
    "Mean of the control or normative sample on Task X:",
    "Standard deviation for the normative sample on Task X:",
    "Mean of the control or normative sample on Task Y:",
    "Standard deviation for the normative sample on Task Y:",
    "Correlation between Tests X and Y in normative sample:",
    "Sample size of the normative sample:",
    "Case's test score on Task X:",
    "Case's test score on Task Y:",
};

namespace {

enum class tFieldCheck { None, StandardDeviation, Correlation, SampleSize };

constexpr std::array<tFieldCheck, 8> kFieldChecks = {
    tFieldCheck::None,        tFieldCheck::StandardDeviation,
    tFieldCheck::None,        tFieldCheck::StandardDeviation,
    tFieldCheck::Correlation, tFieldCheck::SampleSize,
    tFieldCheck::None,        tFieldCheck::None,
};

bool ApplyCheck(tFieldCheck check, const std::string& caption, double value, tMessageSink& messages,
                char decimal_separator) {
  switch (check) {
    case tFieldCheck::StandardDeviation:
      return CheckStandardDeviation(caption, value, messages, decimal_separator);
    case tFieldCheck::Correlation:
      return CheckCorrelation(caption, value, messages, decimal_separator);
    case tFieldCheck::SampleSize:
      return CheckSampleSize(caption, value, messages, decimal_separator);
    case tFieldCheck::None:
      break;
  }
  return true;
}

// Puts the normal pointer back however the engine run ends.
class tBusyPointer {
 public:
  explicit tBusyPointer(tUserDialogs& dialogs) : dialogs_(dialogs) {
    dialogs_.SetBusyPointer(true);
  }
  ~tBusyPointer() { dialogs_.SetBusyPointer(false); }
  tBusyPointer(const tBusyPointer&) = delete;
  tBusyPointer& operator=(const tBusyPointer&) = delete;

 private:
  tUserDialogs& dialogs_;
};

}  // namespace

bool PriorIsChosen(tTestKind test) {
  return test == tTestKind::Standardized;
}

tPrior PriorForTest(tTestKind test, std::optional<tPrior> asked) {
  return PriorIsChosen(test) ? asked.value_or(tPrior::Calibrated) : tPrior::StandardTheory;
}

tAnalysis RunAnalysis(const tAnalysis_request& request, tRunControl* control) {
  tAnalysis analysis;
  analysis.request = request;
  const tAnalysisOptions& options = request.options;
  const bool two_sided = options.limits == tLimits::TwoSided;
  const auto engine = PriorTraits(options.Prior()).engine;
  engine(request.n, request.iterations, true, request.mean_x, request.sd_x, request.mean_y,
         request.sd_y, request.r, request.case_x, request.case_y, two_sided, kConfidencePercent,
         analysis.results, options.test, control, &analysis.draws);
  analysis.z_x = (request.case_x - request.mean_x) / request.sd_x;
  analysis.z_y = (request.case_y - request.mean_y) / request.sd_y;
  return analysis;
}

std::optional<int> ReadEntry(const tWorksheetEntry& entry, tMessageSink& messages,
                             tAnalysis_request& request, char decimal_separator) {
  std::array<double, 8> values{};
  for (int field = 0; field < 8; ++field) {
    const std::string caption = FieldCaptions[field];
    double value = ReadNumber(entry.texts[field], caption, messages);
    if (InputError) return field;
    if (!ApplyCheck(kFieldChecks[field], caption, value, messages, decimal_separator)) return field;
    values[field] = value;
  }
  request.mean_x = values[0];
  request.sd_x = values[1];
  request.mean_y = values[2];
  request.sd_y = values[3];
  request.r = values[4];
  request.n = static_cast<int32_t>(std::trunc(values[5]));
  request.case_x = values[6];
  request.case_y = values[7];
  request.options = entry.options;
  return std::nullopt;
}

double CalibratedRunSeconds(int32_t iterations, int64_t proposals, int64_t accepted,
                            double pilot_seconds, double threads) {
  if (proposals < 1) return 0;
  const double per_proposal = pilot_seconds / static_cast<double>(proposals);
  // With nothing accepted the rate is below one in `proposals`.
  const double rate =
      static_cast<double>(std::max<int64_t>(accepted, 1)) / static_cast<double>(proposals);
  return static_cast<double>(iterations) / rate * per_proposal / std::max(threads, 1.0) + 1;
}

namespace {

// How many threads a run's draws are shared among: the pilot times one, and
// the run's threads each make their share in the same time per draw.
double RunThreads() {
  return static_cast<double>(EngineThreads());
}

}  // namespace

std::optional<double> ExpectedRunSeconds(const tAnalysis_request& request) {
  const auto pilot = PriorTraits(request.options.Prior()).pilot;
  if (pilot == nullptr) return std::nullopt;
  using tClock = std::chrono::steady_clock;
  const double threads = RunThreads();
  try {
    const tClock::time_point start = tClock::now();
    auto seconds = [&start] {
      return std::chrono::duration<double>(tClock::now() - start).count();
    };
    double took = 0;
    const tPilotCount count =
        pilot(request.n, request.sd_x, request.sd_y, request.r, kPilotRound,
              [&](const tPilotCount& so_far) {
                took = seconds();
                if (took >= kPilotMaxSeconds) return false;
                if (so_far.accepted >= kPilotAccepted && took >= kPilotMinSeconds) return false;
                // A run that is clearly short needs no finer estimate.
                return so_far.proposals < kPilotProposals ||
                       CalibratedRunSeconds(request.iterations, so_far.proposals, so_far.accepted,
                                            took, threads) >= kLongRunSeconds / 4;
              });
    took = seconds();
    return CalibratedRunSeconds(request.iterations, count.proposals, count.accepted, took, threads);
  } catch (...) {
    return std::nullopt;
  }
}

std::string LongRunQuestion(double seconds) {
  std::string duration;
  const double minutes = seconds / 60;
  char number[32];
  if (minutes < 90) {
    std::snprintf(number, sizeof number, "%.0f", std::max(1.0, std::round(minutes)));
    duration = std::string(number) + (std::string(number) == "1" ? " minute" : " minutes");
  } else if (minutes < 48 * 60) {
    std::snprintf(number, sizeof number, "%.0f", std::round(minutes / 60));
    duration = std::string(number) + " hours";
  } else {
    std::snprintf(number, sizeof number, "%.0f", std::round(minutes / (24 * 60)));
    duration = std::string(number) + " days";
  }
  return "With a correlation this close to 1 or -1 the calibrated prior rejects most of the "
         "covariance matrices it draws, so this analysis is expected to take about " +
         duration +
         ".\rYou can go on (the run can be cancelled while it runs), or use the standard-theory "
         "prior, which takes about a second.";
}

const char* const kSaveFailureGoesOn =
    "The analysis goes on, but these values will not be restored at the next start.";

const std::array<const char*, 3> LongRunChoices = {"Go on", "Use standard theory", "Cancel"};

tComputeOutcome ComputeAnalysis(const tWorksheetEntry& entry, const std::string& data_folder,
                                tUserDialogs& dialogs, char decimal_separator,
                                const tComputeOptions& options) {
  tComputeOutcome outcome;
  tAnalysis_request request;
  outcome.refused_field = ReadEntry(entry, dialogs, request, decimal_separator);
  if (outcome.Refused()) return outcome;
  request.iterations = options.iterations;
  try {
    SaveCurrentData(data_folder, entry.texts);
  } catch (const EInOutError& e) {
    if (!e.Lasting()) throw;
    outcome.save_failed = true;
    if (options.tell_save_failure)
      dialogs.ShowWarning("The control data could not be saved.\r" + ErrorBoxText(e.Message()) +
                          "\r\r" + kSaveFailureGoesOn);
  }
  if (const std::optional<double> seconds = ExpectedRunSeconds(request);
      seconds && *seconds > kLongRunSeconds) {
    const int choice =
        dialogs.Choose(LongRunQuestion(*seconds), {LongRunChoices.begin(), LongRunChoices.end()});
    if (choice == 1) {
      request.options.prior = tPrior::StandardTheory;
    } else if (choice != 0) {
      outcome.stopped = true;
      return outcome;
    }
  }
  tBusyPointer busy(dialogs);
  try {
    if (options.runner) {
      outcome.stopped = !options.runner(request, outcome.analysis);
    } else {
      outcome.analysis = RunAnalysis(request);
    }
  } catch (...) {
    throw EAnalysisFailed(std::current_exception(), request, decimal_separator, options.remedies);
  }
  return outcome;
}
