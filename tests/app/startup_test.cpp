// The program's start-up: the process-wide strings and the two windows as
// the event loop finds them, and a first Compute handing over to the real
// results viewer.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include <gtest/gtest.h>

#include "analysis/data_file.h"
#include "analysis/data_location.h"
#include "analysis/report.h"
#include "analysis/version.h"
#include "app/startup.h"
#include "results/TemplateResults.h"
#include "support/recording_dialogs.h"
#include "worksheet/difflims_Form.h"

TEST(Startup, OpensTheWorksheetRestoredAndTheViewerHiddenThenComputeSwitches) {
  ProgramTitle.clear();
  SetProgramStrings();
  EXPECT_EQ(DataFileName, "quorreldata.txt");
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  {
    QFile file(folder.filePath("quorreldata.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("100 15 50 10 .6 20 ");
  }
  tRecordingDialogs dialogs;
  tQuorrelWindows windows(dialogs, folder.path().toStdString(), '.');
  TfrmTemplate& worksheet = windows.Worksheet();
  worksheet.SetIterations(2000);  // the switch between the windows, not the numbers
  TfrmTemplateResults& results = windows.Results();
  EXPECT_FALSE(results.isVisible());
  worksheet.show();
  EXPECT_EQ(worksheet.windowTitle().toStdString(), ProgramTitle);
  EXPECT_EQ(worksheet.Input(5)->text(), "20");
  EXPECT_EQ(worksheet.focusWidget(), worksheet.Input(6));
  EXPECT_FALSE(results.isVisible());

  worksheet.Input(6)->setText("70");
  worksheet.Input(7)->setText("45");
  QTest::mouseClick(worksheet.findChild<QPushButton*>("cmdCompute"), Qt::LeftButton);
  EXPECT_TRUE(dialogs.warnings.empty());
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_FALSE(worksheet.isVisible());
  EXPECT_TRUE(results.isVisible());
  EXPECT_EQ(results.windowTitle().toStdString(), "Results viewer: " + ProgramTitle);
  EXPECT_TRUE(results.HoldsText());
  EXPECT_TRUE(results.ResultsText().contains(QString::fromStdString(ProgramTitle)));
}

// Exit answered Yes ends the program from either window: the event loop is
// left even while the viewer, which refuses to be closed from outside, is
// shown.  Run in a process of its own, as the program runs.
namespace {
void ExitFromWindowLeavesTheEventLoop(bool from_viewer) {
  SetProgramStrings();
  QTemporaryDir folder;
  tRecordingDialogs dialogs;
  dialogs.confirm_answers = {true};
  tQuorrelWindows windows(dialogs, folder.path().toStdString(), '.');
  windows.Worksheet().show();
  if (from_viewer) {
    windows.Results().ShowResults("Results viewer: " + ProgramTitle);
    windows.Worksheet().hide();
  }
  const char* button = from_viewer ? "cmdExit" : "ExitBtn";
  QWidget& window = from_viewer ? static_cast<QWidget&>(windows.Results())
                                : static_cast<QWidget&>(windows.Worksheet());
  QTimer::singleShot(0, &window, [&window, button] {
    QTest::mouseClick(window.findChild<QPushButton*>(button), Qt::LeftButton);
  });
  // Should the loop not end, the process ends with another code.
  QTimer::singleShot(5000, [] { std::_Exit(3); });
  const int code = QApplication::exec();
  std::_Exit(code == 0 && dialogs.events.back() == "confirm:Exit from program?" ? 0 : 4);
}

}  // namespace

TEST(ExitDeathTest, YesInTheViewerEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitFromWindowLeavesTheEventLoop(true), ::testing::ExitedWithCode(0), "");
}

TEST(ExitDeathTest, YesInTheWorksheetEndsTheProgramAfterTheViewerWasShown) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetProgramStrings();
        QTemporaryDir folder;
        tRecordingDialogs dialogs;
        dialogs.confirm_answers = {true};
        tQuorrelWindows windows(dialogs, folder.path().toStdString(), '.');
        // The viewer has been shown and hidden again ("Return to Worksheet").
        windows.Results().ShowResults("Results viewer: " + ProgramTitle);
        windows.Results().findChild<QPushButton*>("cmdReturn")->click();
        QTimer::singleShot(0, &windows.Worksheet(), [&windows] {
          QTest::mouseClick(windows.Worksheet().findChild<QPushButton*>("ExitBtn"), Qt::LeftButton);
        });
        QTimer::singleShot(5000, [] { std::_Exit(3); });
        std::_Exit(QApplication::exec() == 0 ? 0 : 4);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(Startup, ACopyRunFromItsBuildFolderKeepsItsDataBesideTheProgram) {
  // The tests run from the build folder: a portable copy, which makes
  // nothing in the user's folder.
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
  EXPECT_EQ(UserDataHome(), QFile::encodeName(home.path()).toStdString());
  EXPECT_EQ(StartUpDataFolder(), GetProgramPath());
  EXPECT_TRUE(QDir(home.path()).isEmpty());
  // What an installed copy would choose with the same environment.
  EXPECT_EQ(ChooseDataLocation("/usr/bin", kInstallBinFolder, UserDataHome()).folder,
            QFile::encodeName(home.path()).toStdString() + "/quorrel");
  if (saved.isNull())
    qunsetenv("XDG_DATA_HOME");
  else
    qputenv("XDG_DATA_HOME", saved);
}

TEST(Startup, TheDesktopIdAndTheWindowIcon) {
  SetProgramIdentity();
  EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), std::string(kQuorrelAppId));
  EXPECT_EQ(std::string(kQuorrelAppId), "org.quorrel.Quorrel");
  const QIcon icon = QApplication::windowIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {48, 64, 128, 256})
    EXPECT_EQ(icon.pixmap(QSize(size, size)).size(), QSize(size, size)) << size;
  tRecordingDialogs dialogs;
  QTemporaryDir folder;
  tQuorrelWindows windows(dialogs, folder.path().toStdString(), '.');
  EXPECT_EQ(windows.Worksheet().windowIcon().cacheKey(), icon.cacheKey());
}
