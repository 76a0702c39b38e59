// The headless Compute: field order and first refusal, the data file written
// before the engine, the busy pointer, the engine and options passed through.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/compute_driver.h"
#include "analysis/data_file.h"
#include "analysis/error_texts.h"
#include "analysis/io_error.h"
#include "analysis/report.h"
#include "example_report_golden.h"
#include "numeric/errors.h"
#ifndef _WIN32
#include "support/file_size_limit.h"
#endif
#include "support/recording_dialogs.h"
#include "support/temporary_folder.h"

namespace fs = std::filesystem;

namespace {

class ComputeDriver : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.empty()); }

  std::string FileBytes() const {
    std::ifstream in(DataFilePath(folder_), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  const tTemporaryFolder temporary_{"quorrel-driver-"};
  const std::string folder_ = temporary_.Path();
};

tWorksheetEntry ExampleEntry() {
  tWorksheetEntry entry;
  entry.texts = {"100", "15", "50", "10", ".6", "20", "70", "55"};
  return entry;
}

void ExpectSame(const tEngine_results& a, const tEngine_results& b) {
  EXPECT_EQ(a.one_tailed_p, b.one_tailed_p);
  EXPECT_EQ(a.two_tailed_p, b.two_tailed_p);
  EXPECT_EQ(a.pct_estimate, b.pct_estimate);
  EXPECT_EQ(a.pct_lower, b.pct_lower);
  EXPECT_EQ(a.pct_upper, b.pct_upper);
  EXPECT_EQ(a.zdcc, b.zdcc);
  EXPECT_EQ(a.zdcc_lower, b.zdcc_lower);
  EXPECT_EQ(a.zdcc_upper, b.zdcc_upper);
}

TEST_F(ComputeDriver, FirstRefusalWinsAndNothingIsSaved) {
  // Field 2 holds 0 and field 5 is empty: only the standard deviation's message.
  tWorksheetEntry entry = ExampleEntry();
  entry.texts[1] = "0";
  entry.texts[4] = "";
  tRecordingDialogs dialogs;
  tComputeOutcome outcome = ComputeAnalysis(entry, folder_, dialogs, '.');
  EXPECT_TRUE(outcome.Refused());
  EXPECT_EQ(outcome.refused_field, 1);
  ASSERT_EQ(dialogs.events.size(), 1u);
  EXPECT_EQ(dialogs.warnings[0],
            "INPUT ERROR\r(  Standard deviation for the normative sample on Task X:  0.000  )\r"
            "Standard deviations must have a positive value.");
  EXPECT_FALSE(fs::exists(DataFilePath(folder_)));
}

TEST_F(ComputeDriver, EachFieldRefusesWithItsOwnCaption) {
  const std::pair<int, const char*> refusals[] = {
      {0, "abc"}, {1, "-1"}, {2, ""},    {3, "0"},  {4, "1"},
      {4, "-1"},  {5, "2"},  {5, "2.5"}, {6, "+5"}, {7, "1,5"},
  };
  SaveCurrentData(folder_, {"1", "2", "3", "4", "5", "6", "7", "8"});
  for (const auto& [field, text] : refusals) {
    tWorksheetEntry entry = ExampleEntry();
    entry.texts[field] = text;
    tRecordingDialogs dialogs;
    tComputeOutcome outcome = ComputeAnalysis(entry, folder_, dialogs, '.');
    EXPECT_EQ(outcome.refused_field, field) << text;
    ASSERT_EQ(dialogs.warnings.size(), 1u) << text;
    EXPECT_NE(dialogs.warnings[0].find(std::string("(  ") + FieldCaptions[field] + "  "),
              std::string::npos)
        << dialogs.warnings[0];
    EXPECT_EQ(dialogs.events.size(), 1u);  // no busy pointer either
  }
  EXPECT_EQ(FileBytes(), "1 2 3 4 5 6 7 8 ");
}

TEST(ReadEntry, FillsTheRequestFromTheTexts) {
  tWorksheetEntry entry;
  entry.texts = {"-12.5", "0.0012", "1 000", ".5", "-.999", "10.0", "70", "-"};
  entry.options.test = tTestKind::Unstandardized;
  entry.options.prior = tPrior::StandardTheory;
  entry.options.limits = tLimits::OneSidedUpper;
  entry.options.notes = {"a", "b"};
  tRecordingDialogs dialogs;
  tAnalysis_request request;
  ASSERT_EQ(ReadEntry(entry, dialogs, request, '.'), std::nullopt);
  EXPECT_TRUE(dialogs.events.empty());
  EXPECT_EQ(request.mean_x, -12.5L);
  EXPECT_EQ(request.sd_x, static_cast<tReal>(0.0012));  // the double, widened
  EXPECT_EQ(request.mean_y, 1000);
  EXPECT_EQ(request.sd_y, 0.5L);
  EXPECT_EQ(request.r, static_cast<tReal>(-0.999));
  EXPECT_EQ(request.n, 10);
  EXPECT_EQ(request.case_x, 70);
  EXPECT_EQ(request.case_y, 0);
  EXPECT_EQ(request.options.test, tTestKind::Unstandardized);
  EXPECT_EQ(request.options.prior, tPrior::StandardTheory);
  EXPECT_EQ(request.options.limits, tLimits::OneSidedUpper);
  EXPECT_EQ(request.options.notes, entry.options.notes);
}

// The one test here that runs full-length analyses: the numbers of the
// example case are those of the report written out in example_report_golden.h.
TEST_F(ComputeDriver, ExampleCaseSavesThenRunsTheCalibratedEngine) {
  tRecordingDialogs dialogs;
  tComputeOutcome outcome = ComputeAnalysis(ExampleEntry(), folder_, dialogs, '.');
  ASSERT_FALSE(outcome.Refused());
  EXPECT_EQ(FileBytes(), "100 15 50 10 .6 20 70 55 ");
  EXPECT_EQ(dialogs.events, (std::vector<std::string>{"busy", "normal"}));

  const tAnalysis& a = outcome.analysis;
  EXPECT_EQ(a.z_x, -2);
  EXPECT_EQ(a.z_y, 0.5L);
  EXPECT_EQ(a.request.n, 20);
  EXPECT_EQ(a.request.iterations, kIterations);

  // The whole first report, line by line.
  std::vector<std::string> first = BuildReport(false, ProgramTitle, a, '.');
  ASSERT_EQ(first.size(), kExampleFirstReport.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i], kExampleFirstReport[i]) << "line " << i + 1;
  }

  // A second Compute gives the same numbers to the last bit, and the same
  // report after the underscore line.
  tComputeOutcome again = ComputeAnalysis(ExampleEntry(), folder_, dialogs, '.');
  ExpectSame(again.analysis.results, a.results);
  std::vector<std::string> second = BuildReport(true, ProgramTitle, again.analysis, '.');
  ASSERT_EQ(second.size(), first.size() + 1);
  EXPECT_EQ(second[0], std::string(96, '_'));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), second.begin() + 1));
}

// Each prior, limits and test reaches the engine it names, with the flags it
// stands for; short runs are enough to tell the engines and flags apart.
TEST(RunAnalysis, OptionsReachTheEngine) {
  constexpr int32_t kShortRun = 20000;
  struct tCombination {
    tPrior prior;
    tLimits limits;
    tTestKind test;
  };
  const tCombination combinations[] = {
      {tPrior::Calibrated, tLimits::TwoSided, tTestKind::Standardized},
      {tPrior::Calibrated, tLimits::OneSidedLower, tTestKind::Standardized},
      {tPrior::Calibrated, tLimits::OneSidedUpper, tTestKind::Standardized},
      {tPrior::StandardTheory, tLimits::TwoSided, tTestKind::Standardized},
      {tPrior::StandardTheory, tLimits::OneSidedLower, tTestKind::Standardized},
      {tPrior::StandardTheory, tLimits::TwoSided, tTestKind::Unstandardized},
      {tPrior::StandardTheory, tLimits::OneSidedUpper, tTestKind::Unstandardized},
  };
  for (const tCombination& c : combinations) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.prior) << static_cast<int>(c.limits)
                                      << static_cast<int>(c.test));
    tAnalysis_request request;
    request.mean_x = 100;
    request.sd_x = 15;
    request.mean_y = 50;
    request.sd_y = 10;
    request.r = 0.6L;
    request.n = 20;
    request.case_x = 70;
    request.case_y = 55;
    request.options.prior = c.prior;
    request.options.limits = c.limits;
    request.options.test = c.test;
    request.iterations = kShortRun;
    tAnalysis analysis = RunAnalysis(request);

    tEngine_results direct;
    auto engine = c.prior == tPrior::Calibrated ? Calibrated_Prior_Engine : Standard_Theory_Engine;
    engine(20, kShortRun, true, 100, 15, 50, 10, 0.6L, 70, 55, c.limits == tLimits::TwoSided, 95,
           direct, c.test, nullptr, nullptr);
    ExpectSame(analysis.results, direct);
    EXPECT_EQ(analysis.request.options.limits, c.limits);
    EXPECT_EQ(analysis.z_x, -2);
    EXPECT_EQ(analysis.z_y, 0.5L);
  }
}

TEST_F(ComputeDriver, EngineErrorComesAfterTheFileWasWritten) {
  SaveCurrentData(folder_, {"1", "2", "3", "4", "5", "6", "7", "8"});
  tWorksheetEntry entry = ExampleEntry();
  entry.texts[5] = "3";  // too small a sample for the calibrated prior
  tRecordingDialogs dialogs;
  try {
    ComputeAnalysis(entry, folder_, dialogs, '.');
    ADD_FAILURE() << "the calibrated engine must refuse N = 3";
  } catch (const EAnalysisFailed& e) {
    try {
      std::rethrow_exception(e.Cause());
    } catch (const EArgumentError& cause) {
      EXPECT_EQ(cause.Id(), 1301);
    }
    EXPECT_EQ(e.Message().rfind("The calibrated prior needs a control sample of at least 4.", 0),
              0u);
  }
  EXPECT_EQ(FileBytes(), "100 15 50 10 .6 3 70 55 ");
  EXPECT_EQ(dialogs.events, (std::vector<std::string>{"busy", "normal"}));
  EXPECT_TRUE(dialogs.warnings.empty());
}

// A save that trying again could mend (a full disk) ends the analysis; one
// that can never succeed (no such folder) is told, naming the file and the
// reason, and the analysis goes on.
TEST_F(ComputeDriver, AFailedSaveEndsTheAnalysisOnlyWhenItCanBeMended) {
#ifndef _WIN32  // a process's file size limit is POSIX's
  {
    tRecordingDialogs dialogs;
    const tFileSizeLimit full_disk(4);
    ASSERT_TRUE(full_disk.Ok());
    try {
      ComputeAnalysis(ExampleEntry(), folder_, dialogs, '.');
      ADD_FAILURE() << "the save must fail";
    } catch (const EInOutError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Disk full: " + DataFilePath(folder_), 0), 0u);
    }
    EXPECT_TRUE(dialogs.events.empty());  // the engine never ran
  }
#endif
  // A folder that cannot be made: a plain file stands in the path (which
  // Windows calls a missing path).
  { std::ofstream(folder_ + "/plain") << "x"; }
  const std::string missing = folder_ + "/plain/missing";
#ifdef _WIN32
  const std::string reason = "No such file or directory";
#else
  const std::string reason = "Not a directory";
#endif
  tComputeOptions options;
  options.iterations = 1000;
  for (bool tell : {true, false}) {
    tRecordingDialogs dialogs;
    options.tell_save_failure = tell;
    const tComputeOutcome outcome = ComputeAnalysis(ExampleEntry(), missing, dialogs, '.', options);
    EXPECT_TRUE(outcome.save_failed);
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(outcome.analysis.request.n, 20);
    std::vector<std::string> expected = {"busy", "normal"};
    if (tell)
      expected.insert(expected.begin(),
                      "warning:The control data could not be saved.\rFile not found: " + missing +
                          " (" + reason + ").\r\r" + kSaveFailureGoesOn);
    EXPECT_EQ(dialogs.events, expected);
  }
}

// A calibrated run expected to last minutes is announced; the user goes on,
// switches to the standard-theory prior or cancels (the data file is
// written all the same, before the question).
TEST_F(ComputeDriver, LongCalibratedRunIsAnnouncedFirst) {
  tWorksheetEntry entry = ExampleEntry();
  entry.texts[4] = ".999999";
  std::vector<tPrior> ran;
  tComputeOptions options;
  options.runner = [&ran](const tAnalysis_request& request, tAnalysis&) {
    ran.push_back(request.options.Prior());
    return true;
  };
  for (int answer : {2, -1, 1, 0}) {
    SCOPED_TRACE(answer);
    tRecordingDialogs dialogs;
    dialogs.choice_answers = {answer};
    ran.clear();
    fs::remove(DataFilePath(folder_));
    const tComputeOutcome outcome = ComputeAnalysis(entry, folder_, dialogs, '.', options);
    ASSERT_FALSE(dialogs.events.empty());
    EXPECT_EQ(dialogs.events[0].rfind("choose:With a correlation this close to 1 or -1", 0), 0u);
    EXPECT_NE(dialogs.events[0].find("|Go on|Use standard theory|Cancel"), std::string::npos);
    EXPECT_EQ(FileBytes(), "100 15 50 10 .999999 20 70 55 ");
    if (answer == 2 || answer == -1) {
      EXPECT_TRUE(outcome.stopped);
      EXPECT_TRUE(ran.empty());
      EXPECT_EQ(dialogs.events.size(), 1u);  // not even the busy pointer
    } else {
      EXPECT_FALSE(outcome.stopped);
      EXPECT_EQ(ran,
                std::vector<tPrior>{answer == 1 ? tPrior::StandardTheory : tPrior::Calibrated});
    }
  }
}

TEST_F(ComputeDriver, ShortRunsAndTheStandardTheoryPriorAreNotAnnounced) {
  // At -.9 the calibrated prior's draws take well under a second here: far
  // enough below the minute that a pilot stalled by a loaded machine, in a
  // checking build, does not announce the run.
  for (const char* r : {".6", "-.9"}) {
    for (tPrior prior : {tPrior::Calibrated, tPrior::StandardTheory}) {
      tWorksheetEntry entry = ExampleEntry();
      entry.texts[4] = r;
      entry.options.prior = prior;
      tComputeOptions options;
      options.runner = [](const tAnalysis_request&, tAnalysis&) { return true; };
      tRecordingDialogs dialogs;
      ComputeAnalysis(entry, folder_, dialogs, '.', options);
      EXPECT_EQ(dialogs.events, (std::vector<std::string>{"busy", "normal"})) << r;
    }
  }
  // The standard-theory prior is never announced, however close r is to 1.
  tWorksheetEntry entry = ExampleEntry();
  entry.texts[4] = ".999999";
  entry.options.prior = tPrior::StandardTheory;
  tComputeOptions options;
  options.runner = [](const tAnalysis_request&, tAnalysis&) { return true; };
  tRecordingDialogs dialogs;
  ComputeAnalysis(entry, folder_, dialogs, '.', options);
  EXPECT_EQ(dialogs.events, (std::vector<std::string>{"busy", "normal"}));
}

TEST_F(ComputeDriver, ARunnerThatWasStoppedGivesNoAnalysis) {
  tComputeOptions options;
  options.iterations = 1000;
  int32_t seen = 0;
  options.runner = [&seen](const tAnalysis_request& request, tAnalysis&) {
    seen = request.iterations;
    return false;
  };
  tRecordingDialogs dialogs;
  const tComputeOutcome outcome = ComputeAnalysis(ExampleEntry(), folder_, dialogs, '.', options);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(seen, 1000);
  EXPECT_EQ(dialogs.events, (std::vector<std::string>{"busy", "normal"}));
}

TEST(RunCost, FromThePilotsAcceptanceRateAndSpeed) {
  // 1% accepted at 250 ns a proposal: 100 proposals a draw.
  EXPECT_NEAR(CalibratedRunSeconds(1000000, 20000, 200, 0.005), 26.0, 1e-9);
  // Nothing accepted: at least `proposals` proposals a draw.
  EXPECT_NEAR(CalibratedRunSeconds(1000000, 20000, 0, 0.005), 5001.0, 1e-6);
  EXPECT_EQ(ExpectedRunSeconds(tAnalysis_request{}), std::nullopt);  // N = 0 cannot run
  EXPECT_NE(LongRunQuestion(150).find("about 3 minutes."), std::string::npos);
  EXPECT_NE(LongRunQuestion(5 * 3600).find("about 5 hours."), std::string::npos);
  EXPECT_NE(LongRunQuestion(60).find("about 1 minute."), std::string::npos);
}

}  // namespace

// The unstandardized test runs with the standard-theory prior however it is
// asked for: through the worksheet's options, or a request handed straight
// to the engine (whose calibrated prior would otherwise run on it), and a
// near-singular correlation raises no question about a long calibrated run.
TEST_F(ComputeDriver, TheUnstandardizedTestRunsWithTheStandardTheoryPrior) {
  EXPECT_TRUE(PriorIsChosen(tTestKind::Standardized));
  EXPECT_FALSE(PriorIsChosen(tTestKind::Unstandardized));
  EXPECT_EQ(PriorForTest(tTestKind::Standardized, std::nullopt), tPrior::Calibrated);
  EXPECT_EQ(PriorForTest(tTestKind::Standardized, tPrior::StandardTheory), tPrior::StandardTheory);
  for (std::optional<tPrior> asked : {std::optional<tPrior>(), std::optional(tPrior::Calibrated),
                                      std::optional(tPrior::StandardTheory)})
    EXPECT_EQ(PriorForTest(tTestKind::Unstandardized, asked), tPrior::StandardTheory);

  tAnalysis_request request;
  tRecordingDialogs silent;
  ASSERT_EQ(ReadEntry(ExampleEntry(), silent, request, '.'), std::nullopt);
  request.options.test = tTestKind::Unstandardized;
  request.iterations = 2000;
  request.options.prior = tPrior::StandardTheory;
  const tAnalysis standard = RunAnalysis(request);
  request.options.prior = tPrior::Calibrated;
  const tAnalysis asked_calibrated = RunAnalysis(request);
  EXPECT_TRUE(asked_calibrated.request.options.PriorOverruled());
  EXPECT_EQ(asked_calibrated.request.options.Prior(), tPrior::StandardTheory);
  ExpectSame(asked_calibrated.results, standard.results);
  EXPECT_EQ(BuildReport(false, ProgramTitle, asked_calibrated, '.'),
            BuildReport(false, ProgramTitle, standard, '.'));

  tWorksheetEntry entry = ExampleEntry();
  entry.texts[4] = ".999999";
  entry.options.test = tTestKind::Unstandardized;
  entry.options.prior = tPrior::Calibrated;
  std::vector<tPrior> ran;
  tComputeOptions options;
  options.runner = [&ran](const tAnalysis_request& run, tAnalysis&) {
    ran.push_back(run.options.Prior());
    return true;
  };
  tRecordingDialogs dialogs;
  ComputeAnalysis(entry, folder_, dialogs, '.', options);
  EXPECT_EQ(dialogs.events, (std::vector<std::string>{"busy", "normal"}));
  EXPECT_EQ(ran, std::vector<tPrior>{tPrior::StandardTheory});
}
