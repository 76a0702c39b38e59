#include "analysis/compute_driver.h"

#include <cmath>

#include "analysis/Metrics_Papers.h"
#include "analysis/data_file.h"

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

tAnalysis RunAnalysis(const tAnalysis_request& request, tRunControl* control) {
  tAnalysis analysis;
  analysis.request = request;
  const bool two_sided = request.limits == tLimits::TwoSided;
  auto engine =
      request.prior == tPrior::Calibrated ? Calibrated_Prior_Engine : Standard_Theory_Engine;
  engine(request.n, request.iterations, true, request.mean_x, request.sd_x, request.mean_y,
         request.sd_y, request.r, request.case_x, request.case_y, two_sided, kConfidencePercent,
         analysis.results, request.test, control, &analysis.draws);
  analysis.z_x = (request.case_x - request.mean_x) / request.sd_x;
  analysis.z_y = (request.case_y - request.mean_y) / request.sd_y;
  return analysis;
}

int ReadEntry(const tWorksheetEntry& entry, tMessageSink& messages, tAnalysis_request& request,
              char decimal_separator) {
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
  request.test = entry.test;
  request.prior = entry.prior;
  request.limits = entry.limits;
  request.notes = entry.notes;
  return -1;
}

tComputeOutcome ComputeAnalysis(const tWorksheetEntry& entry, const std::string& data_folder,
                                tUserDialogs& dialogs, char decimal_separator) {
  tComputeOutcome outcome;
  tAnalysis_request request;
  outcome.refused_field = ReadEntry(entry, dialogs, request, decimal_separator);
  if (outcome.Refused()) return outcome;
  SaveCurrentData(data_folder, entry.texts);
  tBusyPointer busy(dialogs);
  outcome.analysis = RunAnalysis(request);
  return outcome;
}
