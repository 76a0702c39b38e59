#include "analysis/report.h"

#include "analysis/text_format.h"

namespace {

// The caption of the worksheet's notes label, quoted before the first notes line.
constexpr const char* kNotesCaption = "User's Notes:";

// The methods behind the numbers: one reference per method, three, three and
// two lines.
constexpr const char* kReferences[3][3] = {
    {" Bayesian Monte Carlo tests that compare a single case with a small control sample, treating "
     "the",
     " control mean and standard deviation as estimates: the probability that a control member is "
     "more",
     " extreme than the case, and credible limits for the abnormality of the case's score."},
    {" The Bayesian standardized difference test for the discrepancy between a case's scores on "
     "two",
     " correlated tasks, with the effect size Z-DCC of the difference between case and controls "
     "and",
     " its credible interval, from posterior draws of the controls' covariance matrix and means."},
    {" A prior for the controls' covariance matrix calibrated to give the Bayesian difference "
     "tests",
     " frequentist properties: their error rates keep to the nominal level also for small samples.",
     nullptr},
};

}  // namespace

std::vector<std::string> BuildReport(bool viewer_holds_text, const std::string& program_title,
                                     const tAnalysis& analysis, char decimal_separator) {
  const tAnalysis_request& request = analysis.request;
  const tEngine_results& results = analysis.results;
  const bool standardized = request.test == tTestKind::Standardized;
  std::vector<std::string> lines;
  auto line = [&](const char* format, std::initializer_list<tFormatArg> args = {}) {
    lines.push_back(FormatLine(format, args, decimal_separator));
  };
  auto text = [&](std::string text_line) { lines.push_back(std::move(text_line)); };

  // Opening and title.
  if (viewer_holds_text) text(std::string(96, '_'));
  text("");
  text(program_title);
  text("");

  // References.
  text(" THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPERS:");
  text("");
  for (const auto& reference : kReferences) {
    for (const char* reference_line : reference) {
      if (reference_line != nullptr) text(reference_line);
    }
    text("");
  }
  text("");

  // The user's notes.
  if (!request.notes.empty()) {
    text(std::string(" ") + kNotesCaption + " " + request.notes.front());
    for (std::size_t i = 1; i < request.notes.size(); ++i) {
      text(std::string(15, ' ') + request.notes[i]);
    }
    text(" ");
  }

  // Inputs.
  text(" INPUTS:");
  text(
      standardized
          ? " Option selected: Analysis is to be performed on the patient's STANDARDIZED difference"
          : " Option selected: Analysis is to be performed on the patient's UNSTANDARDIZED "
            "difference");
  text(request.prior == tPrior::Calibrated
           ? " Option selected: Analysis is to be performed using a prior CALIBRATED to confer "
             "frequentist properties"
           : " Option selected: Analysis is to be performed using a prior derived from STANDARD "
             "THEORY");
  text("");
  switch (request.limits) {
    case tLimits::TwoSided:
      text(" Option selected: 95% two-sided limit requested");
      break;
    case tLimits::OneSidedLower:
      text(" Option selected: 95% one-sided lower limit requested");
      break;
    case tLimits::OneSidedUpper:
      text(" Option selected: 95% one-sided upper limit requested");
      break;
  }
  text("");
  line(" Mean of the control or normative sample on Task X =     %8.2f", {request.mean_x});
  line(" Standard deviation for the normative sample on Task X = %8.2f", {request.sd_x});
  line(" Mean of the control or normative sample on Task Y =     %8.2f", {request.mean_y});
  line(" Standard deviation for the normative sample on Task Y = %8.2f", {request.sd_y});
  line(" Correlation between Tests X and Y in normative sample = %8.2f", {request.r});
  line(" Sample size of the normative sample =                   %8D", {request.n});
  text("");
  line(" Case's test score on Task X =                           %8.2f", {request.case_x});
  line(" Case's test score on Task Y =                           %8.2f", {request.case_y});
  text("");
  text("");

  // Outputs.
  text(" OUTPUTS:");
  line(" Individual's score on Test X expressed as a z score = %8.3f", {analysis.z_x});
  line(" Individual's score on Test Y expressed as a z score = %8.3f", {analysis.z_y});
  text("");
  text(standardized
           ? " Bayesian hypothesis test - Probability that the standardized difference for "
             "a member of the control"
           : " Bayesian hypothesis test - Probability that the unstandardized difference "
             "for a member of the control");
  text(" population would be greater than that of the case:");
  line(" Two-tailed probability = %2.5f ", {results.two_tailed_p});
  line(" One-tailed probability = %2.5f ", {results.one_tailed_p});
  text("");

  // Effect size and abnormality.
  const char* const kPercentageHeading =
      " Percentage of control population exhibiting a discrepancy more extreme than the case and "
      "in the";
  switch (request.limits) {
    case tLimits::TwoSided:
      text(
          " Effect size (Z-DCC) for the difference (Task X minus Task Y) between case and controls "
          "(plus 95% Credible");
      text(" Interval):");
      line(" Z-DCC = %1.3f (95%% Credible Interval = %2.3f to %2.3f)",
           {results.zdcc, results.zdcc_lower, results.zdcc_upper});
      text("");
      text(kPercentageHeading);
      text(" same direction:");
      line(" Bayesian point estimate    = %2.3f%%", {results.pct_estimate});
      line(" Bayesian 95%% lower limit   = %3.3f%%", {results.pct_lower});
      line(" Bayesian 95%% upper limit   = %3.3f%%", {results.pct_upper});
      break;
    case tLimits::OneSidedLower:
      text(
          " Effect size (Z-DCC) for the difference (Task X minus Task Y) between case and controls "
          "(plus 95%");
      text(" one-sided lower Credible Limit):");
      line(" Z-DCC = %1.3f (95%% one-sided lower credible limit = %2.3f)",
           {results.zdcc, results.zdcc_lower});
      text("");
      text(kPercentageHeading);
      text(" same direction:");
      line(" Bayesian point estimate    = %2.4f%%", {results.pct_estimate});
      line(" Bayesian 95%% lower limit (one-sided)  = %3.4f%%", {results.pct_lower});
      break;
    case tLimits::OneSidedUpper:
      text(
          " Effect size (Z-DCC) for the difference (Task X minus Task Y) between case and controls "
          "(plus 95%");
      text(" one-sided upper Credible Limit):");
      line(" Z-DCC = %1.3f (95%% one-sided upper credible limit = %2.3f)",
           {results.zdcc, results.zdcc_upper});
      text("");
      text(kPercentageHeading);
      text(" same direction:");
      line(" Bayesian point estimate    = %2.4f%%", {results.pct_estimate});
      line(" Bayesian 95%% upper limit (one-sided)  = %3.4f%%", {results.pct_upper});
      break;
  }
  return lines;
}
