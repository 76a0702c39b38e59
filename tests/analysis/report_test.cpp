// The report, line by line: a complete first report compared with a text
// written out by hand, and the variants of every conditional block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/data_file.h"
#include "analysis/report.h"
#include "example_report_golden.h"

namespace {

// The example case with the calibrated engine's results for it, as
//   build/src/cli/quorrel-report --json 100 15 50 10 .6 20 70 55
// printed them when these tests were written (21 significant digits).  The
// engine's arithmetic has since changed in the last bits of the first three,
// which no digit of the report shows; the report's numbers only need to
// round as the engine's do.  After a change that moves a printed digit, make
// them again with that command and compare with example_report_golden.h.
tAnalysis ExampleAnalysis() {
  tAnalysis a;
  a.request.mean_x = 100;
  a.request.sd_x = 15;
  a.request.mean_y = 50;
  a.request.sd_y = 10;
  a.request.r = 0.6;
  a.request.n = 20;
  a.request.case_x = 70;
  a.request.case_y = 55;
  a.z_x = -2;
  a.z_y = 0.5L;
  a.results.one_tailed_p = 8.19313167350689838031e-03L;
  a.results.two_tailed_p = 1.63862633470137967606e-02L;
  a.results.pct_estimate = 8.19313167350689838028e-01L;
  a.results.pct_lower = 7.58180267446741139922e-03L;
  a.results.pct_upper = 4.46802450073136505487e+00L;
  a.results.zdcc = -2.79508497187473704294e+00L;
  a.results.zdcc_lower = -3.78837467122256477126e+00L;
  a.results.zdcc_upper = -1.69878081345068476793e+00L;
  return a;
}

// Index of the first line equal to `line`, or -1.
int Find(const std::vector<std::string>& lines, const std::string& line) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> Report(const tAnalysis& a, bool holds_text = false, char sep = '.') {
  return BuildReport(holds_text, kProgramTitle, a, sep);
}

TEST(BuildReport, FirstReportOfTheExampleCaseLineByLine) {
  std::vector<std::string> lines = Report(ExampleAnalysis());
  ASSERT_EQ(lines.size(), 52u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i], kExampleFirstReport[i]) << "line " << i + 1;
  }
}

TEST(BuildReport, ReferenceLines) {
  std::vector<std::string> lines = Report(ExampleAnalysis());
  int references = 0;
  for (int i = 5; i <= 14; ++i) {
    if (lines[i].empty()) continue;
    ++references;
    EXPECT_EQ(lines[i][0], ' ') << i;
    EXPECT_NE(lines[i][1], ' ') << i;
    EXPECT_LE(lines[i].size(), 102u) << i;
  }
  EXPECT_EQ(references, 8);
}

TEST(BuildReport, LaterReportBeginsWithTheUnderscoreLine) {
  std::vector<std::string> first = Report(ExampleAnalysis(), false);
  std::vector<std::string> later = Report(ExampleAnalysis(), true);
  ASSERT_EQ(later.size(), 53u);
  EXPECT_EQ(later[0], std::string(96, '_'));
  EXPECT_EQ(std::vector<std::string>(later.begin() + 1, later.end()), first);
}

TEST(BuildReport, OneSidedVariants) {
  tAnalysis a = ExampleAnalysis();
  a.request.options.limits = tLimits::OneSidedLower;
  a.results.pct_estimate = 0.05L;
  std::vector<std::string> lower = Report(a);
  ASSERT_EQ(lower.size(), 51u);
  EXPECT_EQ(lower[21], " Option selected: 95% one-sided lower limit requested");
  const std::vector<std::string> lower_tail = {
      " Effect size (Z-DCC) for the difference (Task X minus Task Y) between case and controls "
      "(plus "
      "95%",
      " one-sided lower Credible Limit):",
      " Z-DCC = -2.795 (95% one-sided lower credible limit = -3.788)",
      "",
      " Percentage of control population exhibiting a discrepancy more extreme than the case and "
      "in "
      "the",
      " same direction:",
      " Bayesian point estimate    = 0.0500%",
      " Bayesian 95% lower limit (one-sided)  = 0.0076%",
  };
  EXPECT_EQ(std::vector<std::string>(lower.end() - 8, lower.end()), lower_tail);

  a.request.options.limits = tLimits::OneSidedUpper;
  std::vector<std::string> upper = Report(a);
  ASSERT_EQ(upper.size(), 51u);
  EXPECT_EQ(upper[21], " Option selected: 95% one-sided upper limit requested");
  EXPECT_EQ(upper[44], " one-sided upper Credible Limit):");
  EXPECT_EQ(upper[45], " Z-DCC = -2.795 (95% one-sided upper credible limit = -1.699)");
  EXPECT_EQ(upper[49], " Bayesian point estimate    = 0.0500%");
  EXPECT_EQ(upper[50], " Bayesian 95% upper limit (one-sided)  = 4.4680%");
  // Everything before block F is as in the two-sided report.
  EXPECT_EQ(
      std::vector<std::string>(upper.begin() + 22, upper.begin() + 43),
      std::vector<std::string>(kExampleFirstReport.begin() + 22, kExampleFirstReport.begin() + 43));

  // Two-sided with the same percentage: three decimals.
  a.request.options.limits = tLimits::TwoSided;
  EXPECT_EQ(Report(a)[49], " Bayesian point estimate    = 0.050%");
}

TEST(BuildReport, NotesBlock) {
  tAnalysis a = ExampleAnalysis();
  a.request.options.notes = {"Patient AB, seen 3 May"};
  std::vector<std::string> one = Report(a);
  ASSERT_EQ(one.size(), 54u);
  EXPECT_EQ(one[15], "");
  EXPECT_EQ(one[16], "");
  EXPECT_EQ(one[17], " User's Notes: Patient AB, seen 3 May");
  EXPECT_EQ(one[18], " ");
  EXPECT_EQ(one[19], " INPUTS:");

  a.request.options.notes = {"first", "", "   third, indented"};
  std::vector<std::string> three = Report(a);
  ASSERT_EQ(three.size(), 56u);
  EXPECT_EQ(three[17], " User's Notes: first");
  EXPECT_EQ(three[18], std::string(15, ' '));
  EXPECT_EQ(three[19], std::string(15, ' ') + "   third, indented");
  EXPECT_EQ(three[20], " ");
  EXPECT_EQ(three[21], " INPUTS:");

  // No notes: INPUTS follows the two empty lines directly.
  std::vector<std::string> none = Report(ExampleAnalysis());
  EXPECT_EQ(Find(none, " INPUTS:"), 17);
  EXPECT_EQ(Find(none, " "), -1);
}

TEST(BuildReport, UnstandardizedAndStandardTheoryWording) {
  tAnalysis a = ExampleAnalysis();
  a.request.options.test = tTestKind::Unstandardized;
  a.request.options.prior = tPrior::StandardTheory;
  std::vector<std::string> lines = Report(a);
  ASSERT_EQ(lines.size(), 52u);
  EXPECT_EQ(
      lines[18],
      " Option selected: Analysis is to be performed on the patient's UNSTANDARDIZED difference");
  EXPECT_EQ(
      lines[19],
      " Option selected: Analysis is to be performed using a prior derived from STANDARD THEORY");
  EXPECT_EQ(
      lines[38],
      " Bayesian hypothesis test - Probability that the unstandardized difference for a member "
      "of the control");
  EXPECT_EQ(Find(lines, kExampleFirstReport[18]), -1);
  EXPECT_EQ(Find(lines, kExampleFirstReport[38]), -1);
}

TEST(BuildReport, InputColumnStartsAtThe58thCharacter) {
  tAnalysis a = ExampleAnalysis();
  a.request.mean_x = -12.5L;
  a.request.sd_x = 999999;
  a.request.mean_y = 5;
  a.request.n = 25;
  a.request.case_y = -1234567.891L;
  std::vector<std::string> lines = Report(a);
  EXPECT_EQ(lines[23].substr(57), "  -12.50");
  EXPECT_EQ(lines[24].substr(57), "999999.00");  // wider than its field: printed in full
  EXPECT_EQ(lines[25].substr(57), "    5.00");
  EXPECT_EQ(lines[28].substr(57), "      25");
  EXPECT_EQ(lines[31].substr(57), "-1234567.89");
  // In the example every value fits its eight characters: one column, right-aligned.
  for (int i : {23, 24, 25, 26, 27, 28, 30, 31}) {
    const std::string& line = kExampleFirstReport[i];
    ASSERT_EQ(line.size(), 65u) << i;
    EXPECT_EQ(line[56], ' ') << i;
    EXPECT_NE(line[64], ' ') << i;
  }
  EXPECT_EQ(lines[24].size(), 66u);
  EXPECT_EQ(lines[25].size(), 65u);
}

TEST(BuildReport, CommaDecimalSeparator) {
  tAnalysis a = ExampleAnalysis();
  a.results.two_tailed_p = 1;
  std::vector<std::string> lines = Report(a, false, ',');
  EXPECT_EQ(lines[23], " Mean of the control or normative sample on Task X =       100,00");
  EXPECT_EQ(lines[27], " Correlation between Tests X and Y in normative sample =     0,60");
  EXPECT_EQ(lines[28], " Sample size of the normative sample =                         20");
  EXPECT_EQ(lines[35], " Individual's score on Test X expressed as a z score =   -2,000");
  EXPECT_EQ(lines[40], " Two-tailed probability = 1,00000 ");
  EXPECT_EQ(lines[45], " Z-DCC = -2,795 (95% Credible Interval = -3,788 to -1,699)");
  EXPECT_EQ(lines[51], " Bayesian 95% upper limit   = 4,468%");
  // The title and the fixed texts keep their own points and commas.
  EXPECT_EQ(lines[1], kExampleFirstReport[1]);
  EXPECT_EQ(lines[13], kExampleFirstReport[13]);
}

TEST(BuildReport, NumbersAreRoundedNotCut) {
  tAnalysis a = ExampleAnalysis();
  a.z_x = -1.99951L;  // cutting would give -1.999
  a.results.zdcc = 0.0004L;
  a.results.zdcc_lower = -0.0004L;
  a.results.one_tailed_p = 0.000004999L;
  std::vector<std::string> lines = Report(a);
  EXPECT_EQ(lines[35], " Individual's score on Test X expressed as a z score =   -2.000");
  EXPECT_EQ(lines[41], " One-tailed probability = 0.00000 ");
  EXPECT_EQ(lines[45], " Z-DCC = 0.000 (95% Credible Interval = -0.000 to -1.699)");
}

}  // namespace
