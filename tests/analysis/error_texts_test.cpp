// What the user is told when an analysis fails: the program's own words and
// what to do, for each error a run can end with.
#include "analysis/error_texts.h"

#include <gtest/gtest.h>

#include <new>
#include <system_error>

#include "analysis/platform_interfaces.h"
#include "engines/Bayes_Engines.h"
#include "numeric/distrib.h"
#include "numeric/errors.h"

namespace {

tAnalysis_request Request(tPrior prior, int32_t n) {
  tAnalysis_request request;
  request.mean_x = 100;
  request.sd_x = 15;
  request.mean_y = 50;
  request.sd_y = 10;
  request.r = .6L;
  request.n = n;
  request.case_x = 70;
  request.case_y = 45;
  request.options.prior = prior;
  request.iterations = 2000;
  return request;
}

// The text for the error that running `request` ends with.
std::string TextOfRun(const tAnalysis_request& request, const tRemedyWords& words = {}) {
  try {
    RunAnalysis(request);
  } catch (...) {
    return AnalysisErrorText(std::current_exception(), request, '.', words);
  }
  return "<no error>";
}

template <typename E>
std::string TextOf(E error, const tAnalysis_request& request, char decimal_separator = '.') {
  return AnalysisErrorText(std::make_exception_ptr(error), request, decimal_separator);
}

TEST(AnalysisErrorText, ErrorsOfRealRunsSayWhatHappenedAndWhatToDo) {
  // What to do is said in the words the front end hands in.
  EXPECT_EQ(TextOfRun(Request(tPrior::Calibrated, 3), {"switch priors"}),
            "The calibrated prior needs a control sample of at least 4.\rFor a smaller sample, "
            "switch priors.");
  // A case 65,536 SDs or more from the controls.
  tAnalysis_request far = Request(tPrior::StandardTheory, 20);
  far.sd_x = .00001L;
  const std::string text = TextOfRun(far);
  EXPECT_EQ(text.rfind("The case's difference lies so far from the controls' differences", 0), 0u)
      << text;
  EXPECT_EQ(text.find("incomplete gamma"), std::string::npos);
}

TEST(AnalysisErrorText, EachKindOfErrorHasItsOwnWords) {
  const tAnalysis_request calibrated = Request(tPrior::Calibrated, 4);
  const tAnalysis_request standard = Request(tPrior::StandardTheory, 4);
  // A drawn matrix is not the control sample's matrix.
  const std::string drawn = TextOf(EDrawnMatrixSingular(), calibrated);
  EXPECT_EQ(drawn.find("covariance matrix of the control sample cannot"), std::string::npos);
  EXPECT_NE(drawn.find("The control sample's own statistics are valid."), std::string::npos);
  EXPECT_NE(drawn.find("use the standard-theory prior"), std::string::npos);
  EXPECT_EQ(TextOf(EDrawnMatrixSingular(), standard).find("standard-theory"), std::string::npos);
  EXPECT_EQ(TextOf(ESingularMatrix(), standard)
                .rfind("The covariance matrix of the control sample cannot be inverted: ", 0),
            0u);
  EXPECT_NE(TextOf(EOverflow(), standard).find("(Floating point overflow)"), std::string::npos);
  EXPECT_EQ(TextOf(ERunStopped(), standard), "The analysis was stopped before it was complete.");
  // A thread the system cannot start is a shortage of memory too.
  for (const std::string& text :
       {TextOf(std::bad_alloc(), standard),
        TextOf(std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)),
               standard)})
    EXPECT_EQ(text.rfind("There is not enough memory", 0), 0u) << text;
  // An error the analysis does not know keeps its message, with a period.
  EXPECT_EQ(TextOf(Exception("Disk full"), standard), "Disk full.");
  // 1301 with a sample large enough is no question of the sample size.
  EXPECT_EQ(TextOf(EArgumentError(1301, "Parameter 1 must be greater than 0"), standard),
            "The analysis could not be completed: Parameter 1 must be greater than 0.\r"
            "Check the inputs.");
  for (const std::string& text :
       {drawn, TextOf(EOverflow(), standard), TextOf(ESingularMatrix(), standard)})
    EXPECT_EQ(text.back(), '.');
}

TEST(AnalysisErrorText, ABoundIsWrittenWithTheUsersSeparator) {
  const tAnalysis_request standard = Request(tPrior::StandardTheory, 20);
  std::exception_ptr error;
  try {
    CheckBound(1315, 0.75L, 0.5L);
  } catch (...) {
    error = std::current_exception();
  }
  ASSERT_TRUE(error);
  EXPECT_EQ(AnalysisErrorText(error, standard, ','),
            "The analysis could not be completed: Value must be at most 0,5.\rCheck the inputs.");
  EXPECT_EQ(AnalysisErrorText(error, standard, '.'),
            "The analysis could not be completed: Value must be at most 0.5.\rCheck the inputs.");
  // The failed analysis carries the same words.
  EXPECT_EQ(EAnalysisFailed(error, standard, ',').Message(),
            AnalysisErrorText(error, standard, ','));
  // A message of the library's without a bound is kept as it is.
  EXPECT_EQ(TextOf(EArgumentError(1363, "The distribution has no variance"), standard, ','),
            "The analysis could not be completed: The distribution has no variance.\r"
            "Check the inputs.");
}

TEST(ErrorTexts, LinesBrokenForATerminalOrJoinedForACsvCell) {
  // A terminal or a message box: every carriage return is a line, blank lines stay.
  EXPECT_EQ(MessageLines("INPUT ERROR\r(  x  )\r\rEnter numeric data only."),
            "INPUT ERROR\n(  x  )\n\nEnter numeric data only.");
  EXPECT_EQ(MessageLines("a\nb\r"), "a\nb\n");
  // A CSV cell: one line, each run of breaks one blank, none leading or doubled.
  EXPECT_EQ(MessageLines("INPUT ERROR\r(  x  )\r\rEnter numeric data only.", ' '),
            "INPUT ERROR (  x  ) Enter numeric data only.");
  EXPECT_EQ(MessageLines("\r\nfirst \r\nsecond\n", ' '), "first second ");
  EXPECT_EQ(MessageLines("", ' '), "");
}

}  // namespace
