// The program's start-up: the process-wide strings and the two windows as
// the event loop finds them, and a first Compute handing over to the real
// results viewer.
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "analysis/data_file.h"
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
  tQuorrelWindows windows(dialogs, folder.path().toStdString());
  TfrmTemplate& worksheet = windows.Worksheet();
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
