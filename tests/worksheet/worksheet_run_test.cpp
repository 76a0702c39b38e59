// The worksheet in everyday use: the focus lands with the input's text
// selected, the engine runs off the event loop (input during a run is
// dropped, a short run shows no progress window, Cancel leaves everything as
// it was), and the window fits the screen.
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include "analysis/compute_driver.h"
#include "analysis/report.h"
#include "worksheet/radio_group.h"
#include "worksheet/run_progress.h"
#include "worksheet_fixture.h"

namespace {

const std::vector<const char*> kValid = {"100", "15", "50", "10", ".6", "20", "70", "45"};

bool WholeTextSelected(QLineEdit* input) {
  return input->hasSelectedText() && input->selectedText() == input->text();
}

// The report the worksheet must produce for these field texts, computed on
// this thread without any window.
std::vector<std::string> DirectReport(const std::vector<const char*>& texts, int32_t iterations,
                                      bool holds_text) {
  tWorksheetEntry entry;
  for (int k = 0; k < 8; ++k)
    entry.texts[k] = texts[k];
  tRecordingDialogs silent;
  tAnalysis_request request;
  EXPECT_EQ(ReadEntry(entry, silent, request, '.'), std::nullopt);
  request.iterations = iterations;
  return BuildReport(holds_text, ProgramTitle, RunAnalysis(request), '.');
}

}  // namespace

TEST_F(WorksheetTest, EveryMoveIntoAnInputSelectsItsWholeText) {
  WriteDataFile("100 15 50 10 .6 20 ");
  Open();
  worksheet_->SetIterations(1000);
  // Start-up: the case's first score.
  Input(6)->setText("70");
  worksheet_->hide();
  worksheet_->show();
  worksheet_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(worksheet_.get()));
  EXPECT_EQ(worksheet_->focusWidget(), Input(6));
  EXPECT_TRUE(WholeTextSelected(Input(6)));
  // Typing replaces the old score instead of joining it.
  QTest::keyClicks(Input(6), "65");
  EXPECT_EQ(Input(6)->text(), "65");

  // A refused field.
  Input(7)->setText("45");
  Input(1)->setText("0");
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  EXPECT_EQ(worksheet_->focusWidget(), Input(1));
  EXPECT_TRUE(WholeTextSelected(Input(1)));

  // The user's move into a field (Tab, Backtab, a shortcut), as the field
  // receives it.
  Input(2)->deselect();
  QFocusEvent tab_in(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(Input(2), &tab_in);
  EXPECT_TRUE(WholeTextSelected(Input(2)));
  Input(1)->setText("15");

  // Back from the viewer after a Compute.
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  ASSERT_EQ(results_.reports.size(), 1u);
  worksheet_->show();
  worksheet_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(worksheet_.get()));
  EXPECT_EQ(worksheet_->focusWidget(), Input(6));
  EXPECT_TRUE(WholeTextSelected(Input(6)));
  QTest::keyClicks(Input(6), "71");
  EXPECT_EQ(Input(6)->text(), "71");

  // Clear Data leaves txtInput1 focused (and empty).
  QTest::mouseClick(Control<QPushButton>("btnclearData"), Qt::LeftButton);
  EXPECT_EQ(worksheet_->focusWidget(), Input(0));
}

TEST_F(WorksheetTest, InputDuringARunIsDroppedNotQueued) {
  Open();
  worksheet_->SetIterations(300000);
  worksheet_->BackgroundRun().SetProgressDelay(60000);
  Fill(kValid);
  auto* compute = Control<QPushButton>("cmdCompute");
  bool was_running = false;
  QTimer::singleShot(0, worksheet_.get(), [&] {
    was_running = worksheet_->BackgroundRun().Running();
    // The window keeps handling events meanwhile; clicks and keys go nowhere.
    QTest::mouseClick(compute, Qt::LeftButton);
    QTest::mouseClick(compute, Qt::LeftButton);
    QTest::keyClick(compute, Qt::Key_Return);
    QTest::keyClicks(Input(0), "999");
    QTest::mouseClick(Control<QPushButton>("btnclearData"), Qt::LeftButton);
  });
  QTest::mouseClick(compute, Qt::LeftButton);
  EXPECT_TRUE(was_running);
  QCoreApplication::processEvents();
  ASSERT_EQ(results_.reports.size(), 1u);
  EXPECT_EQ(results_.shows, 1);
  EXPECT_EQ(Input(0)->text(), "100");
  EXPECT_EQ(Input(7)->text(), "45");
  // The run's numbers are those of the same run on this thread.
  EXPECT_EQ(results_.reports[0], DirectReport(kValid, 300000, false));
  EXPECT_EQ(worksheet_->BackgroundRun().ProgressShows(), 0);
}

TEST_F(WorksheetTest, AShortRunShowsNoProgressWindow) {
  Open();
  worksheet_->SetIterations(2000);
  Fill(kValid);
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  ASSERT_EQ(results_.reports.size(), 1u);
  EXPECT_EQ(worksheet_->BackgroundRun().ProgressShows(), 0);
  EXPECT_EQ(worksheet_->findChild<TfrmProgress*>(), nullptr);
}

TEST_F(WorksheetTest, CancelLeavesEverythingAsItWasAndTheNextRunIsTheSame) {
  Open();
  const int32_t iterations = 400000;
  worksheet_->SetIterations(iterations);
  worksheet_->BackgroundRun().SetProgressDelay(0);
  Fill(kValid);
  int percent_seen = -1;
  // Cancel from the progress window, as the user would, once it shows.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    TfrmProgress* progress = worksheet_->BackgroundRun().ProgressWindow();
    if (progress == nullptr || !progress->isVisible()) return;
    percent_seen = progress->Percent();
    // Enter, pressed by habit, does not cancel; a click does.
    QTest::keyClick(progress->focusWidget() ? progress->focusWidget() : progress, Qt::Key_Return);
    EXPECT_TRUE(progress->CancelButton()->isEnabled());
    QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
    poll.stop();
  });
  poll.start(5);
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  poll.stop();
  EXPECT_GE(percent_seen, 0);
  EXPECT_LT(percent_seen, 100);
  EXPECT_EQ(worksheet_->BackgroundRun().ProgressShows(), 1);
  // No report, no error, the worksheet shown with its texts; the data file
  // was written before the run.
  EXPECT_TRUE(results_.reports.empty());
  EXPECT_EQ(results_.shows, 0);
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_TRUE(worksheet_->isVisible());
  EXPECT_EQ(Input(7)->text(), "45");
  EXPECT_EQ(ReadDataFile(), "100 15 50 10 .6 20 70 45 ");
  EXPECT_EQ(dialogs_.events.back(), "normal");
  EXPECT_EQ(worksheet_->findChild<TfrmProgress*>(), nullptr);

  // The same inputs again, to the end: the numbers of an undisturbed run.
  worksheet_->BackgroundRun().SetProgressDelay(60000);
  QTest::mouseClick(Control<QPushButton>("cmdCompute"), Qt::LeftButton);
  ASSERT_EQ(results_.reports.size(), 1u);
  EXPECT_EQ(results_.reports[0], DirectReport(kValid, iterations, false));
}

TEST_F(WorksheetTest, ReturnPressesTheFocusedButtonAndInputsHaveNames) {
  Open();
  auto* clear = Control<QPushButton>("btnclearData");
  Input(0)->setText("100");
  clear->setFocus(Qt::TabFocusReason);
  QTest::keyClick(clear, Qt::Key_Return);
  EXPECT_EQ(Input(0)->text(), "");
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(Input(k)->accessibleName().toStdString(), FieldCaptions[k]);
    QLabel* label = Control<QLabel>(QStringLiteral("Label%1").arg(k + 1).toLatin1().constData());
    EXPECT_EQ(label->buddy(), Input(k));
  }
  EXPECT_EQ(Control<QPlainTextEdit>("memoComments")->accessibleName(), "User's Notes:");
}

// Run under QT_SCALE_FACTOR=1.5 on the offscreen platform's 800 x 600
// screen (533 x 400 at that scale): the window lies on the screen and every
// control can be scrolled into view.
TEST_F(WorksheetTest, FitsTheScreen) {
  Open();
  // A pixel or two of rounding at fractional scale factors.
  const QRect area = worksheet_->screen()->availableGeometry().adjusted(-2, -2, 2, 2);
  const QRect frame = worksheet_->frameGeometry();
  EXPECT_TRUE(area.contains(frame))
      << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height() << " in "
      << area.width() << "x" << area.height();
  auto* scroller = Control<QScrollArea>("ClientScroller");
  QWidget* client = scroller->widget();
  const QSize view = scroller->viewport()->size();
  // What does not fit can be scrolled to.
  EXPECT_GE(view.width() + scroller->horizontalScrollBar()->maximum(), client->width());
  EXPECT_GE(view.height() + scroller->verticalScrollBar()->maximum(), client->height());
  if (area.height() >= 700) {
    EXPECT_EQ(view, client->size());  // a screen large enough shows it all
  }
  // The Exit button can be reached.
  auto* exit = Control<QPushButton>("ExitBtn");
  exit->setFocus(Qt::TabFocusReason);
  scroller->ensureWidgetVisible(exit);
  const QRect on_view(exit->mapTo(scroller->viewport(), QPoint(0, 0)), exit->size());
  EXPECT_TRUE(scroller->viewport()->rect().contains(on_view));
}
