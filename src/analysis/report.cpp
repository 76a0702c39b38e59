#include "analysis/report.h"

#include <cstdio>

#include "analysis/text_format.h"

const char* const kProgramTitle =
    "Quorrel.EXE: Bayesian inferential methods for the difference between a case's scores on two "
    "tasks";

std::string ProgramTitle = kProgramTitle;

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

// The report's lines as they are written: plain texts, and lines formatted
// with the user's decimal separator.
class tReportLines {
 public:
  explicit tReportLines(char decimal_separator) : decimal_separator_(decimal_separator) {}
  void Text(std::string line) { lines_.push_back(std::move(line)); }
  void Line(const std::string& format, std::initializer_list<tFormatArg> args = {}) {
    lines_.push_back(FormatLine(format.c_str(), args, decimal_separator_));
  }
  std::vector<std::string> Take() { return std::move(lines_); }

 private:
  char decimal_separator_;
  std::vector<std::string> lines_;
};

void AddReferences(tReportLines& out) {
  out.Text(" THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPERS:");
  out.Text("");
  for (const auto& reference : kReferences) {
    for (const char* reference_line : reference) {
      if (reference_line != nullptr) out.Text(reference_line);
    }
    out.Text("");
  }
  out.Text("");
}

// The first notes line follows the caption; the others are indented below it.
void AddNotes(tReportLines& out, const std::vector<std::string>& notes) {
  if (notes.empty()) return;
  out.Text(std::string(" ") + kNotesCaption + " " + notes.front());
  for (std::size_t i = 1; i < notes.size(); ++i) {
    out.Text(std::string(15, ' ') + notes[i]);
  }
  out.Text(" ");
}

const char* LimitsName(tLimits limits) {
  switch (limits) {
    case tLimits::OneSidedLower:
      return "lower";
    case tLimits::OneSidedUpper:
      return "upper";
    case tLimits::TwoSided:
      break;
  }
  return "two-sided";
}

void AddInputs(tReportLines& out, const tAnalysis_request& request) {
  const tAnalysisOptions& options = request.options;
  out.Text(" INPUTS:");
  out.Text(options.test == tTestKind::Standardized
               ? " Option selected: Analysis is to be performed on the patient's STANDARDIZED "
                 "difference"
               : " Option selected: Analysis is to be performed on the patient's UNSTANDARDIZED "
                 "difference");
  out.Text(PriorTraits(options.Prior()).report_line);
  out.Text("");
  const std::string one_sided = options.limits == tLimits::TwoSided ? "" : "one-sided ";
  out.Text(" Option selected: 95% " + one_sided + LimitsName(options.limits) + " limit requested");
  out.Text("");
  out.Line(" Mean of the control or normative sample on Task X =     %8.2f", {request.mean_x});
  out.Line(" Standard deviation for the normative sample on Task X = %8.2f", {request.sd_x});
  out.Line(" Mean of the control or normative sample on Task Y =     %8.2f", {request.mean_y});
  out.Line(" Standard deviation for the normative sample on Task Y = %8.2f", {request.sd_y});
  out.Line(" Correlation between Tests X and Y in normative sample = %8.2f", {request.r});
  out.Line(" Sample size of the normative sample =                   %8D", {request.n});
  out.Text("");
  out.Line(" Case's test score on Task X =                           %8.2f", {request.case_x});
  out.Line(" Case's test score on Task Y =                           %8.2f", {request.case_y});
  out.Text("");
  out.Text("");
}

// "%W.Df%%": a percentage with `decimals` decimals and its percent sign,
// right-aligned in at least `width` characters.
std::string PercentField(int width, int decimals) {
  char field[32];
  std::snprintf(field, sizeof field, "%%%d.%df%%%%", width, decimals);
  return field;
}

// The effect size with its credible interval or one-sided limit, and the
// abnormality of the case's difference with the matching limits, its
// percentages with PercentDecimals.
void AddEffectSize(tReportLines& out, tLimits limits, const tEngine_results& results) {
  const char* const kEffectSizeHeading =
      " Effect size (Z-DCC) for the difference (Task X minus Task Y) between case and controls "
      "(plus 95%";
  const char* const kPercentageHeading =
      " Percentage of control population exhibiting a discrepancy more extreme than the case and "
      "in the";
  const int decimals = PercentDecimals(limits);
  if (limits == tLimits::TwoSided) {
    out.Text(std::string(kEffectSizeHeading) + " Credible");
    out.Text(" Interval):");
    out.Line(" Z-DCC = %1.3f (95%% Credible Interval = %2.3f to %2.3f)",
             {results.zdcc, results.zdcc_lower, results.zdcc_upper});
    out.Text("");
    out.Text(kPercentageHeading);
    out.Text(" same direction:");
    out.Line(" Bayesian point estimate    = " + PercentField(2, decimals), {results.pct_estimate});
    out.Line(" Bayesian 95%% lower limit   = " + PercentField(3, decimals), {results.pct_lower});
    out.Line(" Bayesian 95%% upper limit   = " + PercentField(3, decimals), {results.pct_upper});
    return;
  }
  const bool lower = limits == tLimits::OneSidedLower;
  const std::string side = LimitsName(limits);
  out.Text(kEffectSizeHeading);
  out.Text(" one-sided " + side + " Credible Limit):");
  out.Line(" Z-DCC = %1.3f (95%% one-sided " + side + " credible limit = %2.3f)",
           {results.zdcc, lower ? results.zdcc_lower : results.zdcc_upper});
  out.Text("");
  out.Text(kPercentageHeading);
  out.Text(" same direction:");
  out.Line(" Bayesian point estimate    = " + PercentField(2, decimals), {results.pct_estimate});
  out.Line(" Bayesian 95%% " + side + " limit (one-sided)  = " + PercentField(3, decimals),
           {lower ? results.pct_lower : results.pct_upper});
}

void AddOutputs(tReportLines& out, const tAnalysis& analysis) {
  const tEngine_results& results = analysis.results;
  out.Text(" OUTPUTS:");
  out.Line(" Individual's score on Test X expressed as a z score = %8.3f", {analysis.z_x});
  out.Line(" Individual's score on Test Y expressed as a z score = %8.3f", {analysis.z_y});
  out.Text("");
  out.Text(analysis.request.options.test == tTestKind::Standardized
               ? " Bayesian hypothesis test - Probability that the standardized difference for "
                 "a member of the control"
               : " Bayesian hypothesis test - Probability that the unstandardized difference "
                 "for a member of the control");
  out.Text(" population would be greater than that of the case:");
  out.Line(" Two-tailed probability = %2.5f ", {results.two_tailed_p});
  out.Line(" One-tailed probability = %2.5f ", {results.one_tailed_p});
  out.Text("");
  AddEffectSize(out, analysis.request.options.limits, results);
}

}  // namespace

int PercentDecimals(tLimits limits) {
  switch (limits) {
    case tLimits::TwoSided:
      return 3;
    case tLimits::OneSidedLower:
    case tLimits::OneSidedUpper:
      break;
  }
  return 4;
}

std::vector<std::string> BuildReport(bool viewer_holds_text, const std::string& program_title,
                                     const tAnalysis& analysis, char decimal_separator) {
  tReportLines out(decimal_separator);
  // Opening and title.
  if (viewer_holds_text) out.Text(std::string(96, '_'));
  out.Text("");
  out.Text(program_title);
  out.Text("");
  AddReferences(out);
  AddNotes(out, analysis.request.options.notes);
  AddInputs(out, analysis.request);
  AddOutputs(out, analysis);
  return out.Take();
}
