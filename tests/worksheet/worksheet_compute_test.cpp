// The worksheet's buttons: Compute with refused and accepted input and with
// a failing engine, Clear Data, and Exit.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cfenv>

#include "analysis/text_format.h"
#include "numeric/distrib.h"
#include "worksheet/radio_group.h"
#include "worksheet/run_progress.h"
#include "worksheet_fixture.h"

namespace {

const std::vector<const char*> kValid = {"100", "15", "50", "10", ".6", "20", "70", "45"};

int Count(const std::vector<std::string>& events, const std::string& event) {
  return static_cast<int>(std::count(events.begin(), events.end(), event));
}

}  // namespace

TEST_F(WorksheetTest, ComputeWithARefusedFieldShowsOneMessageAndFocusesIt) {
  Open();
  Fill({"100", "0", "50", "10", "", "20", "70", "45"});
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  ASSERT_EQ(dialogs_.warnings.size(), 1u);
  EXPECT_EQ(dialogs_.warnings[0],
            "INPUT ERROR\r(  Standard deviation for the normative sample on Task X:  0.000  )\r"
            "Standard deviations must have a positive value.");
  EXPECT_EQ(Focused(), Input(1));
  EXPECT_FALSE(QFile::exists(DataPath()));
  EXPECT_EQ(Count(dialogs_.events, "busy"), 0);
  EXPECT_EQ(results_.shows, 0);
  EXPECT_TRUE(worksheet_->isVisible());
  EXPECT_EQ(Input(4)->text(), "");  // the fields keep their texts
}

// The question before a long calibrated run comes whatever ran before it in
// the program, even code that left a floating-point fault flag set; and the
// flag is still set after it.
TEST_F(WorksheetTest, LongCalibratedRunIsAnnouncedEvenAfterAStaleFaultFlag) {
  Open();
  Fill({"100", "15", "50", "10", ".999999", "20", "70", "45"});
  dialogs_.choice_answers = {2};  // Cancel
  // Should the question not come, the run of minutes is stopped.
  QTimer::singleShot(3000, worksheet_.get(), [this] { worksheet_->BackgroundRun().Stop(); });
  std::feclearexcept(FE_ALL_EXCEPT);
  std::feraiseexcept(FE_INVALID);
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  EXPECT_TRUE(std::fetestexcept(FE_INVALID));
  std::feclearexcept(FE_ALL_EXCEPT);
  ASSERT_FALSE(dialogs_.events.empty());
  EXPECT_EQ(dialogs_.events[0].rfind("choose:With a correlation this close to 1 or -1", 0), 0u);
  EXPECT_EQ(dialogs_.events.size(), 1u);  // cancelled: no run
  EXPECT_TRUE(results_.reports.empty());
}

// Enter in the case's last score computes once every field is filled, and
// does nothing while one is empty.
TEST_F(WorksheetTest, EnterInTheLastScoreComputesWhenEveryFieldIsFilled) {
  Open();
  worksheet_->SetIterations(2000);
  Fill({"100", "15", "50", "10", ".6", "20", "70", ""});
  Input(7)->setFocus();
  QTest::keyClick(Input(7), Qt::Key_Return);
  EXPECT_TRUE(results_.reports.empty());
  EXPECT_TRUE(dialogs_.events.empty());
  QTest::keyClicks(Input(7), "45");
  QTest::keyClick(Input(7), Qt::Key_Return);
  EXPECT_EQ(results_.reports.size(), 1u);
}

TEST_F(WorksheetTest, ComputeThatSucceedsSwitchesToTheViewerWithTheReport) {
  Open();
  worksheet_->SetIterations(2000);  // the flow, not the numbers
  Fill(kValid);
  Control<QPlainTextEdit>("memoComments")->setPlainText("Seen on ward 3");
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  EXPECT_TRUE(dialogs_.warnings.empty());
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_FALSE(worksheet_->isVisible());
  EXPECT_EQ(results_.shows, 1);
  EXPECT_EQ(results_.caption, "Results viewer: " + ProgramTitle);
  ASSERT_EQ(results_.reports.size(), 1u);
  const std::vector<std::string> report = results_.reports[0];
  ASSERT_FALSE(report.empty());
  EXPECT_NE(report[0], std::string(96, '_'));  // nothing above the first report
  EXPECT_TRUE(std::any_of(report.begin(), report.end(), [](const std::string& line) {
    return line.find("Seen on ward 3") != std::string::npos;
  }));
  EXPECT_EQ(ReadDataFile(), "100 15 50 10 .6 20 70 45 ");
  EXPECT_EQ(Count(dialogs_.events, "busy"), 1);
  EXPECT_EQ(dialogs_.events.back(), "normal");

  // Back from the viewer the cursor waits in the case's first score; the
  // same case again gives the same report below a separator line.
  worksheet_->show();
  EXPECT_EQ(worksheet_->focusWidget(), Input(6));
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  ASSERT_EQ(results_.reports.size(), 2u);
  const std::vector<std::string>& second = results_.reports[1];
  ASSERT_EQ(second.size(), report.size() + 1);
  EXPECT_EQ(second[0], std::string(96, '_'));
  EXPECT_EQ(std::vector<std::string>(second.begin() + 1, second.end()), report);
}

TEST_F(WorksheetTest, ComputeHandsTheAnalysisForItsFigureAfterTheReport) {
  Open(',');
  Fill(kValid);
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  ASSERT_EQ(results_.figures.size(), 1u);
  const auto& figure = results_.figures[0];
  EXPECT_EQ(figure.reports_before, 1u);      // the report's lines came first
  EXPECT_EQ(figure.decimal_separator, ',');  // the separator the worksheet was given
  EXPECT_EQ(figure.analysis.draws.Total(), kIterations);
  // The figure's numbers are the report's.
  const std::string z_line =
      FormatLine(" Z-DCC = %1.3f (95%% Credible Interval = %2.3f to %2.3f)",
                 {figure.analysis.results.zdcc, figure.analysis.results.zdcc_lower,
                  figure.analysis.results.zdcc_upper},
                 ',');
  const auto& report = results_.reports[0];
  EXPECT_NE(std::find(report.begin(), report.end(), z_line), report.end()) << z_line;
}

TEST_F(WorksheetTest, TooSmallASampleForThePriorIsAWarningAfterTheFileWasRewritten) {
  WriteDataFile("1 2 3 4 .5 6 7 8 ");
  Open();
  worksheet_->SetIterations(2000);  // the flow, not the numbers
  Fill({"100", "15", "50", "10", ".6", "3", "70", "45"});
  ASSERT_EQ(Control<tRadioGroup>("Prior_Form")->ItemIndex(), 0);  // calibrated
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  // A sample too small for the prior is a refused input: a warning, and the
  // focus in the sample size; the remedy in the worksheet's own words,
  // naming its controls.
  ASSERT_EQ(dialogs_.warnings.size(), 1u);
  EXPECT_EQ(dialogs_.warnings[0],
            "The calibrated prior needs a control sample of at least 4.\r"
            "For a smaller sample, choose \"Standard Theory (Jeffreys prior)\" under \"Form of "
            "prior...\".");
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_EQ(Focused(), Input(5));
  EXPECT_EQ(ReadDataFile(), "100 15 50 10 .6 3 70 45 ");
  EXPECT_TRUE(worksheet_->isVisible());
  EXPECT_EQ(results_.shows, 0);
  EXPECT_TRUE(results_.reports.empty());
  // The pointer is normal again and the program goes on: the same inputs
  // with the standard-theory prior compute.
  EXPECT_EQ(Count(dialogs_.events, "busy"), Count(dialogs_.events, "normal"));
  QTest::mouseClick(Control<tRadioGroup>("Prior_Form")->Item(1), Qt::LeftButton);
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  EXPECT_EQ(dialogs_.warnings.size(), 1u);
  EXPECT_EQ(results_.reports.size(), 1u);
}

// A data folder that can never be written is told once a session, and
// every Compute still gives its report.
TEST_F(WorksheetTest, DataFolderThatCannotBeWrittenIsToldOnceAndComputeGoesOn) {
  // A folder that cannot be made: a plain file stands in its path.
  QFile plain(QString::fromStdString(Folder() + "/plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  worksheet_ = std::make_unique<TfrmTemplate>(dialogs_, results_, Folder() + "/plain/quorrel", '.');
  worksheet_->SetIterations(2000);
  worksheet_->show();
  Fill(kValid);
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  ASSERT_EQ(dialogs_.warnings.size(), 1u);
  EXPECT_NE(dialogs_.warnings[0].find(Folder() + "/plain/quorrel (Not a directory)"),
            std::string::npos);
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_EQ(results_.reports.size(), 1u);
  worksheet_->show();
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  EXPECT_EQ(dialogs_.warnings.size(), 1u);
  EXPECT_EQ(results_.reports.size(), 2u);
}

TEST_F(WorksheetTest, ClearDataEmptiesFieldsAndNotesDeletesTheFileAndKeepsOptions) {
  WriteDataFile("100 15 50 10 .6 20 70 45 ");
  Open();
  Input(6)->setText("70");
  Control<QPlainTextEdit>("memoComments")->setPlainText("a note");
  QTest::mouseClick(Control<QRadioButton>("UNstandardized_Radio"), Qt::LeftButton);
  QTest::mouseClick(Control<tRadioGroup>("Limits_Radio")->Item(2), Qt::LeftButton);
  QTest::mouseClick(Control<QPushButton>("btnclearData"), Qt::LeftButton);
  for (int k = 0; k < 8; ++k)
    EXPECT_TRUE(Input(k)->text().isEmpty()) << k;
  EXPECT_TRUE(Control<QPlainTextEdit>("memoComments")->toPlainText().isEmpty());
  EXPECT_FALSE(QFile::exists(DataPath()));
  EXPECT_EQ(Focused(), Input(0));
  EXPECT_TRUE(Control<QRadioButton>("UNstandardized_Radio")->isChecked());
  EXPECT_EQ(Control<tRadioGroup>("Prior_Form")->ItemIndex(), 1);
  EXPECT_EQ(Control<tRadioGroup>("Limits_Radio")->ItemIndex(), 2);
  EXPECT_TRUE(dialogs_.events.empty());  // no question, no message
  // Without a file Clear Data is just as quiet.
  QTest::mouseClick(Control<QPushButton>("btnclearData"), Qt::LeftButton);
  EXPECT_TRUE(dialogs_.events.empty());
}

TEST_F(WorksheetTest, ExitAnsweredNoLeavesTheWorksheetAsItWas) {
  Open();
  Fill(kValid);
  dialogs_.confirm_answers = {false};
  QTest::mouseClick(Control<QPushButton>("ExitBtn"), Qt::LeftButton);
  EXPECT_EQ(dialogs_.events, std::vector<std::string>{"confirm:Exit from program?"});
  EXPECT_EQ(exits_, 0);
  EXPECT_TRUE(worksheet_->isVisible());
  EXPECT_EQ(Input(7)->text(), "45");
  EXPECT_FALSE(QFile::exists(DataPath()));  // leaving never saves

  dialogs_.confirm_answers = {true};
  QTest::mouseClick(Control<QPushButton>("ExitBtn"), Qt::LeftButton);
  EXPECT_EQ(exits_, 1);
  EXPECT_EQ(results_.end_questions, 1);  // asked once, not again by the closing
  EXPECT_FALSE(QFile::exists(DataPath()));
}

TEST_F(WorksheetTest, ClosingTheWindowByItsFrameAsksOnlyForUnsavedReports) {
  Open();
  // Unsaved reports the user chose to keep: the viewer's offer to save
  // them holds the program open, as it does for Exit.
  results_.may_end = false;
  worksheet_->close();
  EXPECT_EQ(exits_, 0);
  EXPECT_EQ(results_.end_questions, 1);
  results_.may_end = true;
  worksheet_->close();
  EXPECT_EQ(exits_, 1);
  EXPECT_TRUE(dialogs_.events.empty());
}
