// The real message boxes, driven by a timer that reads and answers the box
// while it is open, and the busy pointer; and the worksheet typing into its
// fields while such a box is open.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

#include "analysis/data_file.h"
#include "analysis/report.h"
#include "app/qt_dialogs.h"
#include "worksheet/difflims_Form.h"

namespace {

// What a test saw of the modal box that was open.
struct tSeenBox {
  bool seen = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::vector<QMessageBox::StandardButton> buttons;
  QPoint centre;
  bool application_modal = false;
};

// Waits for the next modal message box, records it and presses `answer`.
// Gives up (closing whatever is open) after five seconds, so a missing box
// fails the test instead of hanging it.
void AnswerNextBox(tSeenBox& seen, QMessageBox::StandardButton answer) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, &seen, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
      if (clock->elapsed() < 5000) return;
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
    } else {
      seen.seen = true;
      seen.title = box->windowTitle();
      seen.text = box->text();
      seen.icon = box->icon();
      for (QAbstractButton* button : box->buttons())
        seen.buttons.push_back(box->standardButton(button));
      seen.centre = box->frameGeometry().center();
      seen.application_modal = box->windowModality() == Qt::ApplicationModal;
      if (QAbstractButton* button = box->button(answer)) button->click();
    }
    timer->stop();
    timer->deleteLater();
    delete clock;
  });
  timer->start(10);
}

void ExpectCentredOnScreen(const QPoint& centre) {
  const QPoint screen = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE(std::abs(centre.x() - screen.x()), 2) << centre.x() << " vs " << screen.x();
  EXPECT_LE(std::abs(centre.y() - screen.y()), 2) << centre.y() << " vs " << screen.y();
}

}  // namespace

TEST(QtDialogs, WarningIsAModalBoxWithOneOkCentredOnTheScreen) {
  TQtUserDialogs dialogs;
  tSeenBox seen;
  AnswerNextBox(seen, QMessageBox::Ok);
  dialogs.ShowWarning("INPUT ERROR\r(  <b>caption</b>  0.000  )\rStandard deviations must be.");
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Warning");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  // Carriage returns break the lines; markup-like text is shown as typed.
  EXPECT_EQ(seen.text, "INPUT ERROR\n(  <b>caption</b>  0.000  )\nStandard deviations must be.");
  EXPECT_EQ(seen.buttons, std::vector<QMessageBox::StandardButton>{QMessageBox::Ok});
  EXPECT_TRUE(seen.application_modal);
  ExpectCentredOnScreen(seen.centre);
}

TEST(QtDialogs, ConfirmationAsksWithYesAndNoAndReturnsTheAnswer) {
  TQtUserDialogs dialogs;
  tSeenBox seen;
  AnswerNextBox(seen, QMessageBox::No);
  EXPECT_FALSE(dialogs.Confirm("Exit from program?"));
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Confirm");
  EXPECT_EQ(seen.icon, QMessageBox::Question);
  EXPECT_EQ(seen.text, "Exit from program?");
  ASSERT_EQ(seen.buttons.size(), 2u);
  EXPECT_NE(std::find(seen.buttons.begin(), seen.buttons.end(), QMessageBox::Yes),
            seen.buttons.end());
  EXPECT_NE(std::find(seen.buttons.begin(), seen.buttons.end(), QMessageBox::No),
            seen.buttons.end());
  ExpectCentredOnScreen(seen.centre);

  tSeenBox again;
  AnswerNextBox(again, QMessageBox::Yes);
  EXPECT_TRUE(dialogs.Confirm("Exit from program?"));
}

TEST(QtDialogs, ErrorBoxIsTitledWithTheApplicationAndRestoresThePointer) {
  TQtUserDialogs dialogs;
  dialogs.SetBusyPointer(true);
  tSeenBox seen;
  Qt::CursorShape pointer_during_box = Qt::BusyCursor;
  QTimer::singleShot(5, [&] {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    pointer_during_box = cursor ? cursor->shape() : Qt::ArrowCursor;
  });
  AnswerNextBox(seen, QMessageBox::Ok);
  dialogs.ShowError("File access denied.");
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Quorrel");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.text, "File access denied.");
  EXPECT_EQ(seen.buttons, std::vector<QMessageBox::StandardButton>{QMessageBox::Ok});
  EXPECT_EQ(pointer_during_box, Qt::ArrowCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtDialogs, BusyPointerIsSetOnceAndRestoredOnce) {
  TQtUserDialogs dialogs;
  dialogs.SetBusyPointer(true);
  dialogs.SetBusyPointer(true);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  dialogs.SetBusyPointer(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  // A restore without a busy pointer must not pop a cursor someone else set.
  QGuiApplication::setOverrideCursor(Qt::CrossCursor);
  dialogs.SetBusyPointer(false);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
  QGuiApplication::restoreOverrideCursor();
}

TEST(QtDialogs, WorksheetKeysAnsweredThroughRealBoxes) {
  class tNoResults : public tResultsDisplay {
   public:
    bool HoldsText() const override { return false; }
    void ShowResults(const std::string&) override {}
    void AppendLines(const std::vector<std::string>&) override {}
  } results;
  ProgramTitle = kProgramTitle;
  DataFileName = kDataFileName;
  QTemporaryDir folder;
  TQtUserDialogs dialogs;
  TfrmTemplate worksheet(dialogs, results, folder.path().toStdString(), '.');
  worksheet.show();
  QLineEdit* input = worksheet.Input(0);
  input->setFocus();
  QTest::keyClicks(input, "12");

  // The box opens while the key press is being handled; the refused key
  // must not reach the field once the box is closed.
  tSeenBox refused;
  AnswerNextBox(refused, QMessageBox::Ok);
  QTest::keyClick(input, 'a');
  ASSERT_TRUE(refused.seen);
  EXPECT_EQ(refused.title, "Warning");
  EXPECT_EQ(refused.text, "INPUT ERROR\n\nEnter numeric data only.");
  EXPECT_EQ(input->text(), "12");

  // The seventh character, typed in the middle: the box first, then the cut.
  input->setText("123456");
  input->setCursorPosition(2);
  tSeenBox too_long;
  AnswerNextBox(too_long, QMessageBox::Ok);
  QTest::keyClick(input, ',');
  ASSERT_TRUE(too_long.seen);
  EXPECT_EQ(too_long.text, "Maximum length of input is 6 characters.");
  EXPECT_EQ(input->text(), "12.345");
  EXPECT_EQ(input->selectedText(), "12.345");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
