// The results viewer as a user meets it: reports accumulating, saving,
// printing, clearing, going back and leaving, on the offscreen platform.
#include "results/TemplateResults.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCursor>
#include <cerrno>
#include <cstdio>

#include <gtest/gtest.h>

#include "analysis/data_file.h"
#include "analysis/io_error.h"
#include "analysis/report.h"
#include "pdf_text.h"
#include "results_fakes.h"
#include "support/recording_dialogs.h"

namespace {

// A finished analysis with round numbers; the report writer needs no engine.
tAnalysis SampleAnalysis(tLimits limits = tLimits::TwoSided) {
  tAnalysis a;
  a.request.mean_x = 100;
  a.request.sd_x = 15;
  a.request.mean_y = 50;
  a.request.sd_y = 10;
  a.request.r = 0.6L;
  a.request.n = 20;
  a.request.case_x = 70;
  a.request.case_y = 55;
  a.request.limits = limits;
  a.z_x = -2;
  a.z_y = 0.5L;
  a.results = {0.00312L, 0.00624L, 0.312L, 0.0101L, 1.9L, -2.7951L, -3.6L, -2.0L};
  return a;
}

QString Joined(const std::vector<std::string>& lines) {
  QStringList list;
  for (const auto& line : lines)
    list.push_back(QString::fromStdString(line));
  return list.join(QLatin1Char('\n'));
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
  return file.readAll();
}

class ResultsViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    // Keeps the saved and printed files for a look by hand.
    if (qEnvironmentVariableIsSet("QUORREL_KEEP_TEST_FILES")) {
      dir.setAutoRemove(false);
      std::printf("test files in %s\n", qPrintable(dir.path()));
    }
    auto save = std::make_unique<tScriptedSaveDialog>();
    auto printers = std::make_unique<tPdfPrinterProvider>();
    save_dialog = save.get();
    printer = printers.get();
    printer->output_file = Path("printed.pdf").toStdString();
    viewer = std::make_unique<TfrmTemplateResults>(dialogs, std::move(save), std::move(printers));
    memo = viewer->findChild<QPlainTextEdit*>(QStringLiteral("memoResults"));
    ASSERT_NE(memo, nullptr);
  }

  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  // What Compute does: show the viewer, then append one report.
  std::vector<std::string> Compute(tLimits limits = tLimits::TwoSided) {
    auto report = BuildReport(viewer->HoldsText(), ProgramTitle, SampleAnalysis(limits));
    viewer->ShowResults("Results viewer: " + ProgramTitle);
    viewer->AppendLines(report);
    return report;
  }

  void Select(int from, int to) {
    QTextCursor cursor(memo->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    memo->setTextCursor(cursor);
  }

  QTemporaryDir dir;
  tRecordingDialogs dialogs;
  tScriptedSaveDialog* save_dialog = nullptr;
  tPdfPrinterProvider* printer = nullptr;
  std::unique_ptr<TfrmTemplateResults> viewer;
  QPlainTextEdit* memo = nullptr;
};

TEST_F(ResultsViewerTest, WindowAndControlsAsDesigned) {
  EXPECT_EQ(viewer->objectName(), QStringLiteral("frmTemplateResults"));
  EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Output"));
  EXPECT_FALSE(viewer->isVisible());
  // Fixed size; the client area below the menu bar is 792 x 554.
  EXPECT_EQ(viewer->minimumSize(), viewer->maximumSize());
  ASSERT_NE(viewer->centralWidget(), nullptr);
  EXPECT_EQ(viewer->centralWidget()->size(), QSize(792, 554));
  EXPECT_EQ(viewer->height(), 554 + viewer->menuBar()->sizeHint().height());
  // No system menu, minimise, maximise or close box.
  const Qt::WindowFlags flags = viewer->windowFlags();
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  for (Qt::WindowType hint : {Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint,
                              Qt::WindowMaximizeButtonHint, Qt::WindowCloseButtonHint})
    EXPECT_FALSE(flags & hint) << hint;

  struct Expected {
    const char* name;
    QRect geometry;
    const char* caption;
  };
  const Expected buttons[] = {{"cmdSaveOutput", {28, 488, 161, 37}, "Save Output"},
                              {"cmdClearResults", {220, 488, 161, 37}, "Clear Results"},
                              {"cmdReturn", {411, 488, 161, 37}, "Return to Worksheet"},
                              {"cmdExit", {603, 488, 161, 37}, "Exit"}};
  for (const Expected& e : buttons) {
    auto* button = viewer->findChild<QPushButton*>(QString::fromLatin1(e.name));
    ASSERT_NE(button, nullptr) << e.name;
    EXPECT_EQ(button->geometry(), e.geometry) << e.name;
    EXPECT_EQ(button->text(), QString::fromLatin1(e.caption));
    EXPECT_EQ(button->font().pointSize(), 10);
    EXPECT_TRUE(button->font().bold());
  }
  EXPECT_EQ(viewer->findChild<QWidget*>(QStringLiteral("Panel1"))->geometry(),
            QRect(8, 2, 777, 468));
  EXPECT_EQ(viewer->findChild<QWidget*>(QStringLiteral("Panel2"))->geometry(),
            QRect(12, 482, 765, 49));
  EXPECT_EQ(memo->geometry(), QRect(0, 8, 769, 452));
  EXPECT_EQ(memo->parentWidget()->objectName(), QStringLiteral("Panel1"));

  // The memo: editable, empty, monospace 9 points, always a vertical scroll
  // bar, wrapped on screen; the selection keeps its colours without focus.
  EXPECT_FALSE(memo->isReadOnly());
  EXPECT_TRUE(memo->toPlainText().isEmpty());
  EXPECT_EQ(memo->font().pointSize(), 9);
  EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  const QPalette p = memo->palette();
  EXPECT_EQ(p.color(QPalette::Inactive, QPalette::Highlight),
            p.color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(p.color(QPalette::Active, QPalette::Text), QColor(Qt::black));

  // One menu with the two print items.
  auto* menu_bar = viewer->findChild<QMenuBar*>(QStringLiteral("MainMenu1"));
  ASSERT_NE(menu_bar, nullptr);
  ASSERT_EQ(menu_bar->actions().size(), 1);
  EXPECT_EQ(menu_bar->actions()[0]->text(), QStringLiteral("Printer options..."));
  const QList<QAction*> items = menu_bar->actions()[0]->menu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->objectName(), QStringLiteral("mnuPrint"));
  EXPECT_EQ(items[0]->text(), QStringLiteral("Print All"));
  EXPECT_EQ(items[1]->objectName(), QStringLiteral("mnuPrintSelection"));
  EXPECT_EQ(items[1]->text(), QStringLiteral("Print Selection"));
}

TEST_F(ResultsViewerTest, ReportsAccumulateWithTheSeparatorUntilCleared) {
  const auto first = Compute();
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->windowTitle().toStdString(), "Results viewer: " + ProgramTitle);
  EXPECT_EQ(first.front(), "");  // the first report has no separator
  EXPECT_EQ(viewer->ResultsText(), Joined(first));
  EXPECT_EQ(memo->document()->blockCount(), static_cast<int>(first.size()));

  const auto second = Compute(tLimits::OneSidedLower);
  EXPECT_EQ(second.front(), std::string(96, '_'));
  EXPECT_EQ(viewer->ResultsText(), Joined(first) + "\n" + Joined(second));
  EXPECT_EQ(memo->document()->blockCount(), static_cast<int>(first.size() + second.size()));

  viewer->cmdClearResultsClick();
  EXPECT_FALSE(viewer->HoldsText());
  EXPECT_TRUE(viewer->ResultsText().isEmpty());
  const auto third = Compute();
  EXPECT_EQ(third.front(), "");
  EXPECT_EQ(viewer->ResultsText(), Joined(third));
  EXPECT_TRUE(dialogs.events.empty());
}

TEST_F(ResultsViewerTest, TextTypedIntoTheEmptyViewerCountsAsText) {
  memo->setPlainText(QStringLiteral("Patient 17"));
  EXPECT_TRUE(viewer->HoldsText());
  const auto report = Compute();
  EXPECT_EQ(report.front(), std::string(96, '_'));
  EXPECT_EQ(viewer->ResultsText(), "Patient 17\n" + Joined(report));
}

TEST_F(ResultsViewerTest, SaveWritesExactlyTheMemoTextWithCrLf) {
  const auto report = Compute();
  // A hand edit at the start of the memo and an empty line typed at its end.
  QTextCursor cursor(memo->document());
  cursor.insertText(QStringLiteral("Seen by: A. N. Other"));
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QStringLiteral("\n"));

  const QString file = Path("out.txt");
  save_dialog->answers.push_back(file.toStdString());
  viewer->cmdSaveOutputClick();

  QByteArray expected = "Seen by: A. N. Other";
  for (const auto& line : report)
    expected += QByteArray(line.c_str()) + "\r\n";
  EXPECT_EQ(ReadAll(file), expected);  // the typed last line end, nothing more
  EXPECT_TRUE(dialogs.events.empty());
  EXPECT_EQ(save_dialog->proposals, std::vector<std::string>{"results.txt"});

  // The next save proposes the name just chosen; an empty memo saves an
  // empty file; non-ASCII text is kept (as UTF-8).
  viewer->cmdClearResultsClick();
  const QString empty_file = Path("empty.txt");
  save_dialog->answers.push_back(empty_file.toStdString());
  dialogs.confirm_answers.push_back(true);
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(save_dialog->proposals.back(), file.toStdString());
  EXPECT_EQ(ReadAll(empty_file), QByteArray());

  memo->setPlainText(QStringLiteral("Fran\u00e7ois\n\nend"));
  save_dialog->answers.push_back(empty_file.toStdString());
  dialogs.confirm_answers.push_back(true);
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(ReadAll(empty_file), QByteArray("Fran\xc3\xa7ois\r\n\r\nend"));
}

TEST_F(ResultsViewerTest, NameIsUsedAsEnteredAndCancelWritesNothing) {
  Compute();
  viewer->cmdSaveOutputClick();  // the script is empty: cancelled
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  EXPECT_EQ(viewer->ProposedFileName(), "results.txt");

  save_dialog->answers.push_back(Path("report").toStdString());
  viewer->cmdSaveOutputClick();
  EXPECT_TRUE(QFile::exists(Path("report")));
  EXPECT_FALSE(QFile::exists(Path("report.txt")));
}

TEST_F(ResultsViewerTest, OverwriteAnsweredNoReturnsToTheDialogAndWritesNothing) {
  Compute();
  const QString file = Path("old.txt");
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("earlier results");
  }
  // No, then cancel in the dialog that comes back with the same name.
  save_dialog->answers.push_back(file.toStdString());
  viewer->cmdSaveOutputClick();
  ASSERT_EQ(save_dialog->proposals.size(), 2u);
  EXPECT_EQ(save_dialog->proposals[1], file.toStdString());
  EXPECT_EQ(dialogs.events,
            std::vector<std::string>{"confirm:" + OverwriteQuestion(file.toStdString())});
  EXPECT_EQ(ReadAll(file), QByteArray("earlier results"));

  // No, then another name: only that one is written.
  const QString other = Path("other.txt");
  save_dialog->answers = {file.toStdString(), other.toStdString()};
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(ReadAll(file), QByteArray("earlier results"));
  EXPECT_TRUE(QFile::exists(other));

  // Yes replaces the content whole.
  save_dialog->answers = {file.toStdString()};
  dialogs.confirm_answers = {true};
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(ReadAll(file), ReadAll(other));
}

TEST_F(ResultsViewerTest, FileThatCannotBeWrittenShowsTheIoErrorAndKeepsTheMemo) {
  Compute();
  const QString before = viewer->ResultsText();

  save_dialog->answers = {"/dev/full"};
  dialogs.confirm_answers = {true};  // /dev/full exists
  viewer->cmdSaveOutputClick();
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors[0], ErrorBoxText(EInOutError::FromErrno(ENOSPC).what()));

  save_dialog->answers = {Path("no-such-folder/out.txt").toStdString()};
  viewer->cmdSaveOutputClick();
  ASSERT_EQ(dialogs.errors.size(), 2u);
  EXPECT_EQ(dialogs.errors[1], ErrorBoxText(EInOutError::FromErrno(ENOENT).what()));
  EXPECT_EQ(viewer->ResultsText(), before);

  // An error raised inside the dialog itself is shown, not thrown at Qt.
  save_dialog->before_answer = [] { throw std::runtime_error("dialog failed"); };
  viewer->cmdSaveOutputClick();
  ASSERT_EQ(dialogs.errors.size(), 3u);
  EXPECT_EQ(dialogs.errors[2], "dialog failed.");
}

TEST_F(ResultsViewerTest, PrintSelectionNeedsASelection) {
  Compute();
  viewer->mnuPrintSelectionClick();
  EXPECT_EQ(dialogs.events, std::vector<std::string>{"warning:You have not selected any text."});
  EXPECT_EQ(printer->documents_started, 0);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(printer->output_file)));
}

TEST_F(ResultsViewerTest, PrintSelectionPrintsOnlyTheSelectedCharacters) {
  if (!HavePopplerTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  memo->setPlainText(QStringLiteral("alpha beta\ngamma delta\nepsilon"));
  // From inside the first line to inside the second.
  Select(6, 16);
  ASSERT_EQ(viewer->SelectedText(), QStringLiteral("beta\ngamma"));
  viewer->mnuPrintSelectionClick();
  EXPECT_TRUE(dialogs.events.empty());
  EXPECT_EQ(printer->documents_started, 1);
  EXPECT_EQ(NonEmptyLines(PdfText(QString::fromStdString(printer->output_file))),
            (QStringList{QStringLiteral("beta"), QStringLiteral("gamma")}));
}

TEST_F(ResultsViewerTest, PrintAllPrintsEveryLineOfTheMemo) {
  if (!HavePopplerTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  Compute();
  Compute(tLimits::OneSidedUpper);
  memo->appendPlainText(QStringLiteral("  Typed by hand\tafter a tab"));
  viewer->mnuPrintClick();
  EXPECT_TRUE(dialogs.events.empty());
  const QString printed = PdfText(QString::fromStdString(printer->output_file));
  // Two reports of about 50 lines need more than one A4 page at 8 points.
  EXPECT_GE(printed.count(QLatin1Char('\f')), 2);
  // The text tools give the words of each line, not its exact blanks (the
  // columns are the layout's business, checked on its own).
  const QStringList expected = Simplified(NonEmptyLines(viewer->ResultsText()));
  const QStringList got = Simplified(NonEmptyLines(printed));
  EXPECT_EQ(got, expected);
  EXPECT_EQ(got.back(), QStringLiteral("Typed by hand after a tab"));
}

TEST_F(ResultsViewerTest, PrintAllOfAnEmptyMemoPrintsOnePage) {
  if (!HavePopplerTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  viewer->mnuPrintClick();
  EXPECT_TRUE(dialogs.events.empty());
  const QString printed = PdfText(QString::fromStdString(printer->output_file));
  EXPECT_EQ(printed.count(QLatin1Char('\f')), 1);
  EXPECT_TRUE(NonEmptyLines(printed).isEmpty());
}

TEST_F(ResultsViewerTest, PrinterFailuresAreReportedAndKeepTheMemo) {
  Compute();
  const QString before = viewer->ResultsText();
  printer->no_printer = true;
  viewer->mnuPrintClick();
  EXPECT_EQ(dialogs.errors,
            std::vector<std::string>{"There is no default printer currently selected."});

  // A printer that refuses the document.
  printer->no_printer = false;
  printer->output_file = Path("no-such-folder/printed.pdf").toStdString();
  viewer->mnuPrintClick();
  ASSERT_EQ(dialogs.errors.size(), 2u);
  EXPECT_EQ(dialogs.errors[1], "The printer did not accept the document.");
  EXPECT_EQ(viewer->ResultsText(), before);
}

TEST_F(ResultsViewerTest, ReturnShowsTheWorksheetAndExitAsksFirst) {
  QWidget worksheet;
  viewer->SetWorksheet(&worksheet);
  int exits = 0;
  viewer->SetExitAction([&] { ++exits; });
  Compute();

  viewer->cmdExitClick();  // answered No
  EXPECT_EQ(exits, 0);
  EXPECT_TRUE(viewer->isVisible());
  dialogs.confirm_answers = {true};
  viewer->cmdExitClick();
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(dialogs.events,
            (std::vector<std::string>{"confirm:Exit from program?", "confirm:Exit from program?"}));

  viewer->cmdReturnClick();
  EXPECT_FALSE(viewer->isVisible());
  EXPECT_TRUE(worksheet.isVisible());
  EXPECT_TRUE(viewer->HoldsText());  // the text survives hiding

  // The window's own close is refused: it is left through its buttons only.
  viewer->show();
  EXPECT_FALSE(viewer->close());
  EXPECT_TRUE(viewer->isVisible());
}

TEST_F(ResultsViewerTest, FocusFirstOnReturnThenOnTheLastFocusedControl) {
  Compute();
  EXPECT_EQ(viewer->focusWidget(), viewer->findChild<QWidget*>(QStringLiteral("cmdReturn")));
  memo->setFocus();
  viewer->cmdReturnClick();
  Compute();
  EXPECT_EQ(viewer->focusWidget(), memo);
}

}  // namespace
