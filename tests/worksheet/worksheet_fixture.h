// Shared set-up of the worksheet tests: a worksheet on the offscreen
// platform with recording dialogs, a recording results viewer and a data
// folder of its own.
#pragma once

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/compute_driver.h"
#include "analysis/data_file.h"
#include "analysis/report.h"
#include "support/recording_dialogs.h"
#include "worksheet/difflims_Form.h"

// The viewer as the worksheet sees it, recording what it is asked to do.
class tRecordingResults : public tResultsDisplay {
 public:
  bool holds_text = false;
  int shows = 0;
  std::string caption;
  std::vector<std::vector<std::string>> reports;

  // What the viewer answers when the program is about to end (false: the
  // user kept unsaved reports), and how often it was asked.
  bool may_end = true;
  int end_questions = 0;
  bool MayEndProgram() override {
    ++end_questions;
    return may_end;
  }

  bool HoldsText() const override { return holds_text; }
  void ShowResults(const std::string& text) override {
    ++shows;
    caption = text;
  }
  void AppendLines(const std::vector<std::string>& lines) override {
    reports.push_back(lines);
    if (!lines.empty()) holds_text = true;
  }
  // The analyses handed over for figures, with the number of reports that
  // had been appended at that moment.
  struct tFigure {
    tAnalysis analysis;
    char decimal_separator;
    std::size_t reports_before;
  };
  std::vector<tFigure> figures;
  void AttachFigure(const tAnalysis& analysis, char decimal_separator) override {
    figures.push_back({analysis, decimal_separator, reports.size()});
  }
};

class WorksheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramTitle = kProgramTitle;
    DataFileName = kDataFileName;
    ASSERT_TRUE(folder_.isValid());
  }
  void TearDown() override { worksheet_.reset(); }

  std::string Folder() const { return folder_.path().toStdString(); }
  QString DataPath() const { return folder_.filePath(QString::fromLatin1(kDataFileName)); }
  void WriteDataFile(const QByteArray& content) {
    QFile file(DataPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  QByteArray ReadDataFile() const {
    QFile file(DataPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
  }

  // Creates the worksheet (which restores the data file) and shows it as
  // the active window, as start-up does.
  TfrmTemplate& Open(char decimal_separator = '.') {
    worksheet_ = std::make_unique<TfrmTemplate>(dialogs_, results_, Folder(), decimal_separator);
    worksheet_->SetExitAction([this] { ++exits_; });
    worksheet_->show();
    worksheet_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(worksheet_.get()));
    return *worksheet_;
  }

  template <typename T>
  T* Control(const char* name) const {
    T* control = worksheet_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QLineEdit* Input(int index) const { return worksheet_->Input(index); }
  QWidget* Focused() const { return QApplication::focusWidget(); }

  void Fill(const std::vector<const char*>& texts) {
    for (std::size_t k = 0; k < texts.size(); ++k)
      Input(static_cast<int>(k))->setText(texts[k]);
  }

  QTemporaryDir folder_;
  tRecordingDialogs dialogs_;
  tRecordingResults results_;
  std::unique_ptr<TfrmTemplate> worksheet_;
  int exits_ = 0;
};
