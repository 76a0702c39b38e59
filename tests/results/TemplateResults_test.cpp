// The results viewer as a user meets it: reports accumulating, saving,
// printing, clearing, going back and leaving, on the offscreen platform.
#include "results/TemplateResults.h"
#include "results/figure.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>

#include <cerrno>
#include <cstdio>

#include <gtest/gtest.h>

#include "analysis/data_file.h"
#include "analysis/io_error.h"
#include "analysis/report.h"
#include "pdf_text.h"
#include "results_fakes.h"
#include "support/file_size_limit.h"
#include "support/recording_dialogs.h"

namespace {

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

// Rows of `image` within `area` that hold dark pixels.
int DarkRows(const QImage& image, const QRect& area) {
  int rows = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    int x = area.left();
    while (x <= area.right() && qGray(image.pixel(x, y)) >= 100)
      ++x;
    if (x <= area.right()) ++rows;
  }
  return rows;
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
  QString Printed() const { return PdfText(QString::fromStdString(printer->output_file)); }

  // What Compute does: show the viewer, then append one report.
  std::vector<std::string> Compute(tLimits limits = tLimits::TwoSided) {
    auto report = BuildReport(viewer->HoldsText(), ProgramTitle, SampleAnalysis(limits), '.');
    viewer->ShowResults("Results viewer: " + ProgramTitle);
    viewer->AppendLines(report);
    return report;
  }

  QTemporaryDir dir;
  tRecordingDialogs dialogs;
  tScriptedSaveDialog* save_dialog = nullptr;
  tPdfPrinterProvider* printer = nullptr;
  std::unique_ptr<TfrmTemplateResults> viewer;
  QPlainTextEdit* memo = nullptr;
};

TEST_F(ResultsViewerTest, WindowWithoutMinimizeBoxWhoseControlsReachTheirHandlers) {
  ASSERT_NE(viewer->centralWidget(), nullptr);
  viewer->show();
  EXPECT_GE(viewer->centralWidget()->width(), 792);
  EXPECT_EQ(viewer->centralWidget()->height(), 554);
  EXPECT_FALSE(viewer->windowFlags() & Qt::WindowMinimizeButtonHint);
  viewer->hide();

  Compute();
  viewer->findChild<QAction*>(QStringLiteral("mnuPrintSelection"))->trigger();
  EXPECT_EQ(dialogs.events, std::vector<std::string>{"warning:You have not selected any text."});
  viewer->findChild<QPushButton*>(QStringLiteral("cmdExit"))->click();
  EXPECT_EQ(dialogs.events.back(), "confirm:Exit from program?");
  dialogs.choice_answers = {1};  // clear without saving
  viewer->findChild<QPushButton*>(QStringLiteral("cmdClearResults"))->click();
  EXPECT_FALSE(viewer->HoldsText());
  viewer->findChild<QAction*>(QStringLiteral("mnuPrint"))->trigger();
  EXPECT_EQ(printer->documents_started, 1);
  viewer->findChild<QPushButton*>(QStringLiteral("cmdSaveOutput"))->click();
  EXPECT_EQ(save_dialog->proposals.size(), 1u);
  viewer->findChild<QPushButton*>(QStringLiteral("cmdReturn"))->click();
  EXPECT_FALSE(viewer->isVisible());
}

TEST_F(ResultsViewerTest, ReportsAccumulateWithTheSeparatorUntilCleared) {
  const auto first = Compute();
  EXPECT_EQ(viewer->windowTitle().toStdString(), "Results viewer: " + ProgramTitle);
  EXPECT_EQ(first.front(), "");  // the first report has no separator
  EXPECT_EQ(viewer->ResultsText(), Joined(first));
  EXPECT_EQ(memo->document()->blockCount(), static_cast<int>(first.size()));

  const auto second = Compute(tLimits::OneSidedLower);
  EXPECT_EQ(second.front(), std::string(96, '_'));
  EXPECT_EQ(viewer->ResultsText(), Joined(first) + "\n" + Joined(second));

  dialogs.choice_answers = {1, 1};  // clear without saving, twice
  viewer->cmdClearResultsClick();
  EXPECT_FALSE(viewer->HoldsText());
  const auto third = Compute();
  EXPECT_EQ(third.front(), "");
  EXPECT_EQ(viewer->ResultsText(), Joined(third));

  // Text typed into the emptied viewer counts: the next report is separated.
  viewer->cmdClearResultsClick();
  memo->setPlainText(QStringLiteral("Patient 17"));
  const auto fourth = Compute();
  EXPECT_EQ(fourth.front(), std::string(96, '_'));
  EXPECT_EQ(viewer->ResultsText(), "Patient 17\n" + Joined(fourth));
  EXPECT_TRUE(dialogs.warnings.empty());
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(ResultsViewerTest, SaveWritesExactlyTheMemoTextWithCrLf) {
  viewer->cmdSaveOutputClick();  // cancelled: nothing written
  EXPECT_TRUE(QDir(dir.path()).isEmpty());

  const auto report = Compute();
  // A hand edit at the start and a line end typed at the very end.
  QTextCursor cursor(memo->document());
  cursor.insertText(QStringLiteral("Seen by: A. N. Other"));
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QStringLiteral("\n"));
  const QString file = Path("report");  // used as entered, no extension added
  save_dialog->answers.push_back(file.toStdString());
  viewer->cmdSaveOutputClick();
  QByteArray expected = "Seen by: A. N. Other";
  for (const auto& line : report)
    expected += QByteArray(line.c_str()) + "\r\n";
  EXPECT_EQ(ReadAll(file), expected);
  EXPECT_FALSE(QFile::exists(file + ".txt"));
  EXPECT_TRUE(dialogs.events.empty());

  // The dialog proposed "results.txt" until a name was chosen, then that
  // name.  An empty memo saves an empty file; other letters are kept (UTF-8).
  viewer->cmdClearResultsClick();
  const QString other = Path("other.txt");
  save_dialog->answers.push_back(other.toStdString());
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(save_dialog->proposals,
            (std::vector<std::string>{"results.txt", "results.txt", file.toStdString()}));
  EXPECT_EQ(ReadAll(other), QByteArray());
  memo->setPlainText(QStringLiteral("Fran\u00e7ois\n\nend"));
  save_dialog->answers.push_back(other.toStdString());
  dialogs.confirm_answers.push_back(true);
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(ReadAll(other), QByteArray("Fran\xc3\xa7ois\r\n\r\nend"));
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
  EXPECT_EQ(save_dialog->proposals, (std::vector<std::string>{"results.txt", file.toStdString()}));
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
  save_dialog->answers = {Path("no-such-folder/out.txt").toStdString()};
  viewer->cmdSaveOutputClick();
  // An error raised inside the dialog itself is shown, not thrown at Qt.
  save_dialog->before_answer = [] { throw std::runtime_error("dialog failed"); };
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(dialogs.errors,
            (std::vector<std::string>{ErrorBoxText(EInOutError::FromErrno(ENOSPC).what()),
                                      ErrorBoxText(EInOutError::FromErrno(ENOENT).what()),
                                      "dialog failed."}));
  EXPECT_EQ(viewer->ResultsText(), before);
}

TEST_F(ResultsViewerTest, ASaveThatFailsOnAFullDiskKeepsTheEarlierFile) {
  // Reported: a 5,000-byte earlier file lost, an 8,192-byte cut-off file
  // left, while the user saw "Disk full.".
  const QString file = Path("results.txt");
  const QByteArray earlier(5000, 'e');
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(earlier);
  }
  memo->setPlainText(QString(20000, QLatin1Char('n')));
  save_dialog->answers = {file.toStdString()};
  dialogs.confirm_answers = {true};
  {
    tFileSizeLimit full_disk(8192);
    ASSERT_TRUE(full_disk.Ok());
    viewer->cmdSaveOutputClick();
  }
  EXPECT_EQ(dialogs.errors, std::vector<std::string>{"Disk full."});
  EXPECT_EQ(ReadAll(file), earlier);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("results.txt")});

  // With room on the disk the same save replaces it whole.
  save_dialog->answers = {file.toStdString()};
  dialogs.confirm_answers = {true};
  viewer->cmdSaveOutputClick();
  EXPECT_EQ(ReadAll(file), QByteArray(20000, 'n'));
}

// A link under the chosen name is never followed into another folder: in a
// shared folder another user may have planted it to lead into this user's
// files.  The user's own link is replaced by the file; another user's link
// is refused, and the file it leads to is untouched either way.
TEST(WriteResultsFile, ALinkIsReplacedItselfOrRefusedNeverFollowed) {
  for (const bool planted : {false, true}) {
    SCOPED_TRACE(planted ? "another user's link" : "the user's own link");
    if (planted && ::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a link away";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("home")));
    const QString target = dir.filePath(QStringLiteral("home/notes.txt"));
    const QString link = dir.filePath(QStringLiteral("report.txt"));
    {
      QFile f(target);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("earlier");
    }
    ASSERT_TRUE(QFile::link(target, link));
    if (planted) {
      ASSERT_EQ(::lchown(QFile::encodeName(link).constData(), 65534, 65534), 0);
      try {
        WriteResultsFile(link.toStdString(), "new text");
        ADD_FAILURE() << "saved through another user's link";
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), link.toStdString() +
                                   " is a link that belongs to another user; the results were "
                                   "not saved through it");
      }
      EXPECT_TRUE(QFileInfo(link).isSymLink());
    } else {
      WriteResultsFile(link.toStdString(), "new text");
      EXPECT_FALSE(QFileInfo(link).isSymLink());
      EXPECT_EQ(ReadAll(link), QByteArray("new text"));
      struct stat info {};
      ASSERT_EQ(::stat(QFile::encodeName(link).constData(), &info), 0);
      EXPECT_FALSE(info.st_mode & 0111);  // not the link's rwxrwxrwx
    }
    EXPECT_EQ(ReadAll(target), QByteArray("earlier"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("home")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("notes.txt")});
  }
}

TEST(WriteResultsFile, AFileTheUserMayNotWriteIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write any file";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath(QStringLiteral("read-only.txt"));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("kept");
  }
  ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner));
  try {
    WriteResultsFile(file.toStdString(), "new text");
    ADD_FAILURE() << "the save must fail";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_EQ(ReadAll(file), QByteArray("kept"));
}

TEST_F(ResultsViewerTest, PrintSelectionPrintsOnlyTheSelectedCharacters) {
  memo->setPlainText(QStringLiteral("alpha beta\ngamma delta\nepsilon"));
  viewer->mnuPrintSelectionClick();
  EXPECT_EQ(dialogs.events, std::vector<std::string>{"warning:You have not selected any text."});
  EXPECT_EQ(printer->documents_started, 0);

  if (!HavePopplerTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  // From inside the first line to inside the second.
  QTextCursor cursor(memo->document());
  cursor.setPosition(6);
  cursor.setPosition(16, QTextCursor::KeepAnchor);
  memo->setTextCursor(cursor);
  viewer->mnuPrintSelectionClick();
  EXPECT_EQ(dialogs.events.size(), 1u);
  EXPECT_EQ(NonEmptyLines(Printed()), (QStringList{"beta", "gamma"}));
}

TEST_F(ResultsViewerTest, PrintAllPrintsEveryLineOfTheMemo) {
  if (!HavePopplerTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  // An empty memo prints one page holding one empty line.
  viewer->mnuPrintClick();
  EXPECT_EQ(Printed().count(QLatin1Char('\f')), 1);
  EXPECT_TRUE(NonEmptyLines(Printed()).isEmpty());

  Compute();
  Compute(tLimits::OneSidedUpper);
  memo->appendPlainText(QStringLiteral("  Typed by hand\tafter a tab"));
  viewer->mnuPrintClick();
  EXPECT_TRUE(dialogs.events.empty());
  // Two reports of about 50 lines need two A4 pages at 8 points.
  EXPECT_EQ(Printed().count(QLatin1Char('\f')), 2);
  // The text tools give the words of each line, not its exact blanks (the
  // columns are the layout's business, checked on its own).
  const QStringList got = Simplified(NonEmptyLines(Printed()));
  EXPECT_EQ(got, Simplified(NonEmptyLines(viewer->ResultsText())));
  EXPECT_EQ(got.back(), QStringLiteral("Typed by hand after a tab"));
}

TEST_F(ResultsViewerTest, PrinterFailuresAreReportedAndKeepTheMemo) {
  Compute();
  const QString before = viewer->ResultsText();
  printer->no_printer = true;
  viewer->mnuPrintClick();
  // A printer that refuses the document.
  printer->no_printer = false;
  const std::string good_file = printer->output_file;
  printer->output_file = Path("no-such-folder/printed.pdf").toStdString();
  viewer->mnuPrintClick();
  // A print system that turns the finished job away.
  printer->output_file = good_file;
  printer->refusal = "Destination \"PDF\" is not accepting jobs.";
  viewer->mnuPrintClick();
  EXPECT_EQ(dialogs.errors,
            (std::vector<std::string>{"There is no default printer currently selected.",
                                      "The printer did not accept the document.",
                                      "Destination \"PDF\" is not accepting jobs."}));
  EXPECT_EQ(printer->documents_released, 0);
  EXPECT_EQ(viewer->ResultsText(), before);
}

// The viewer can be resized and maximised, its memo growing with it; at its
// default size no report line wraps; each new report is shown from its
// beginning.
TEST_F(ResultsViewerTest, ResizableOpensAtTheNewReportAndWrapsNoLine) {
  EXPECT_TRUE(viewer->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_LT(viewer->minimumSize().height(), viewer->maximumSize().height());
  const std::vector<std::string> first = Compute();
  const std::vector<std::string> second = Compute();
  QCoreApplication::processEvents();
  // Every line of the reports takes one line of the memo.
  int visual_lines = 0;
  for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next())
    visual_lines += b.layout()->lineCount();
  EXPECT_EQ(visual_lines, memo->document()->blockCount());
  // The memo's top line is the second report's first (its separator).
  const QTextCursor top = memo->cursorForPosition(QPoint(4, 4));
  EXPECT_EQ(top.blockNumber(), static_cast<int>(first.size()));
  EXPECT_EQ(top.block().text().toStdString(), second.front());
  EXPECT_EQ(memo->textCursor().blockNumber(), static_cast<int>(first.size()));

  const QSize memo_before = memo->size();
  viewer->resize(viewer->width() + 200, viewer->height() + 150);
  QCoreApplication::processEvents();
  EXPECT_EQ(memo->width(), memo_before.width() + 200);
  EXPECT_EQ(memo->height(), memo_before.height() + 150);
  // The buttons stay on the bottom, below the memo.
  auto* exit = viewer->findChild<QPushButton*>(QStringLiteral("cmdExit"));
  EXPECT_GT(exit->mapTo(viewer.get(), QPoint(0, 0)).y(),
            memo->mapTo(viewer.get(), QPoint(0, memo->height())).y());
}

// The buttons, the figure's too, follow the desktop's palette (readable on a
// dark one, greyed when disabled) and Return presses the focused one.
TEST_F(ResultsViewerTest, ButtonsFollowThePaletteAndAnswerReturn) {
  QPalette dark;
  dark.setColor(QPalette::Button, QColor(40, 40, 40));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(110, 110, 110));
  viewer->setPalette(dark);
  for (const char* name : {"cmdClearResults", "cmdSaveFigure", "cmdSavePdf"}) {
    auto* button = viewer->findChild<QPushButton*>(QLatin1String(name));
    EXPECT_EQ(button->palette().color(QPalette::Active, QPalette::ButtonText),
              QColor(230, 230, 230))
        << name;
    EXPECT_EQ(button->palette().color(QPalette::Disabled, QPalette::ButtonText),
              QColor(110, 110, 110))
        << name;
  }
  auto* clear = viewer->findChild<QPushButton*>(QStringLiteral("cmdClearResults"));
  Compute();
  viewer->show();
  dialogs.choice_answers = {1};  // clear without saving
  clear->setFocus(Qt::TabFocusReason);
  QTest::keyClick(clear, Qt::Key_Return);
  EXPECT_FALSE(viewer->HoldsText());
  EXPECT_EQ(memo->accessibleName(), "Results");
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
  dialogs.choice_answers = {1};  // exit without saving the report
  viewer->cmdExitClick();
  EXPECT_EQ(exits, 1);

  viewer->cmdReturnClick();
  EXPECT_FALSE(viewer->isVisible());
  EXPECT_TRUE(worksheet.isVisible());
  EXPECT_TRUE(viewer->HoldsText());  // the text survives hiding

  // The window's close box asks as Exit does; answered No, nothing changes.
  viewer->show();
  EXPECT_FALSE(viewer->close());
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(dialogs.events.back(), "confirm:Exit from program?");
  EXPECT_EQ(exits, 1);
}

// Reports neither saved, printed nor written to PDF are not lost to one
// key: Exit (here, the close box, or the worksheet's) and Clear Results say
// so and offer to save first, and Clear Results can be undone (Ctrl+Z or its
// button) until the next report comes.
TEST_F(ResultsViewerTest, UnsavedReportsAreOfferedForSavingAndClearingCanBeUndone) {
  int exits = 0;
  viewer->SetExitAction([&] { ++exits; });
  for (int report = 0; report < 2; ++report) {
    Compute();
    viewer->AttachFigure(SampleAnalysis(), '.');
  }
  const QString both = viewer->ResultsText();
  auto* clear = viewer->findChild<QPushButton*>(QStringLiteral("cmdClearResults"));
  const std::string held =
      "The results viewer holds 2 reports that have not been saved, printed or written to PDF.\r";
  clear->click();  // the question closed without an answer: nothing happens
  EXPECT_EQ(dialogs.events.back(), "choose:" + held +
                                       "Save them before clearing?|Save Output...|"
                                       "Clear Without Saving|Cancel");
  EXPECT_EQ(viewer->ResultsText(), both);

  dialogs.choice_answers = {1};
  clear->click();
  EXPECT_FALSE(viewer->HoldsText());
  EXPECT_EQ(clear->text(), "&Undo Clear");
  viewer->show();
  viewer->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(viewer.get()));
  memo->setFocus();
  QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(viewer->ResultsText(), both);
  // The figures come back with their reports.
  const auto pieces = viewer->findChild<tFigurePanel*>(QStringLiteral("FigurePanel"))->Pieces();
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_TRUE(pieces[0].figure && pieces[1].figure);
  EXPECT_EQ(clear->text(), "C&lear Results");
  // The worksheet's Exit asks the viewer too.
  EXPECT_FALSE(static_cast<tResultsDisplay&>(*viewer).MayEndProgram());
  EXPECT_EQ(dialogs.events.back(), "choose:" + held +
                                       "Save them before the program ends?|Save Output...|"
                                       "Exit Without Saving|Cancel");

  // The close box: Yes, then Save Output... whose dialog is cancelled: the
  // program goes on; with a name chosen, it saves and ends.
  dialogs.confirm_answers = {true, true};
  dialogs.choice_answers = {0, 0};
  viewer->close();
  EXPECT_EQ(exits, 0);
  save_dialog->answers = {Path("morning.txt").toStdString()};
  viewer->close();
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(QString::fromLatin1(ReadAll(Path("morning.txt"))),
            QString(both).replace(QLatin1Char('\n'), QLatin1String("\r\n")));
  // Saved or printed: Exit asks only its own question.
  for (const bool print : {false, true}) {
    Compute();
    if (print) {
      viewer->mnuPrintClick();
    } else {
      save_dialog->answers = {Path("evening.txt").toStdString()};
      viewer->cmdSaveOutputClick();
    }
    dialogs.confirm_answers = {true};
    viewer->cmdExitClick();
    EXPECT_EQ(dialogs.events.back(), "confirm:Exit from program?") << print;
  }

  // The next report ends the chance to undo.
  dialogs.choice_answers = {1};
  clear->click();
  EXPECT_TRUE(viewer->CanUndoClear());
  Compute();
  EXPECT_FALSE(viewer->CanUndoClear());
  EXPECT_EQ(clear->text(), "C&lear Results");
}

// Ctrl+Shift+C puts the report under the text cursor on the clipboard as
// plain text, as HTML in a fixed-width font and its figure as an image.
TEST_F(ResultsViewerTest, CopyPutsTheReportUnderTheCursorOnTheClipboard) {
  const auto first = Compute();
  viewer->AttachFigure(SampleAnalysis(), '.');
  const auto second = Compute(tLimits::OneSidedLower);
  viewer->AttachFigure(SampleAnalysis(tLimits::OneSidedLower), '.');
  viewer->show();
  viewer->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(viewer.get()));
  for (const bool in_second : {false, true}) {
    QTextCursor cursor(memo->document());
    cursor.setPosition(in_second ? memo->document()->characterCount() - 2 : 3);
    memo->setTextCursor(cursor);
    memo->setFocus();
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    // The second report without the line that parts it from the first.
    const std::vector<std::string> lines =
        in_second ? std::vector<std::string>(second.begin() + 1, second.end()) : first;
    EXPECT_EQ(copied->text(), Joined(lines));
    const QString html = copied->html();
    EXPECT_TRUE(html.contains(QStringLiteral("<pre style=\"font-family: 'Courier New'")));
    EXPECT_TRUE(html.contains(Joined(lines).toHtmlEscaped()));
    // Each line fits a word processor's text width (6.5 inches on Letter,
    // 16 cm on A4) unwrapped: Courier's characters are 0.6 of its size wide.
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("font-size: ([0-9.]+)pt")).match(html);
    ASSERT_TRUE(size.hasMatch());
    std::size_t longest = 0;
    for (const std::string& line : lines)
      longest = std::max(longest, line.size());
    EXPECT_LE(0.6 * size.captured(1).toDouble() * double(longest), 16 / 2.54 * 72);
    // The figure is inside the HTML: a word processor offered an image beside
    // the HTML pastes the image alone, without the report.
    EXPECT_FALSE(copied->hasImage());
    const QRegularExpressionMatch png =
        QRegularExpression(QStringLiteral("src=\"data:image/png;base64,([A-Za-z0-9+/=]+)\""))
            .match(html);
    ASSERT_TRUE(png.hasMatch());
    EXPECT_EQ(QImage::fromData(QByteArray::fromBase64(png.captured(1).toLatin1()), "PNG").size(),
              QSize(2 * kFigureWidth, 2 * kFigureHeight));
  }
}

// With settings, the viewer opens as it was left (size, the figure shown or
// not) and its save dialogs start in the folder last saved into, in the
// documents folder the first time.
TEST(ResultsViewerSettingsTest, RemembersItsSizeTheFigureAndTheLastFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QSettings settings(dir.filePath(QStringLiteral("quorrel.conf")), QSettings::IniFormat);
  tRecordingDialogs dialogs;
  const auto make_viewer = [&](tScriptedSaveDialog*& save) {
    auto dialog = std::make_unique<tScriptedSaveDialog>();
    save = dialog.get();
    auto viewer = std::make_unique<TfrmTemplateResults>(dialogs, std::move(dialog),
                                                        std::make_unique<tPdfPrinterProvider>());
    viewer->SetSettings(&settings);
    viewer->AppendLines({"a report"});
    return viewer;
  };
  // A scratch home, first without a documents folder (the home then), then
  // with one.
  const QByteArray home = qgetenv("HOME");
  const QByteArray config = qgetenv("XDG_CONFIG_HOME");
  const QString scratch_home = dir.filePath(QStringLiteral("home"));
  QDir().mkpath(scratch_home);
  qputenv("HOME", scratch_home.toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", (scratch_home + QStringLiteral("/.config")).toLocal8Bit());
  tScriptedSaveDialog* save = nullptr;
  auto first = make_viewer(save);
  first->cmdSaveOutputClick();
  EXPECT_EQ(save->proposals.back(),
            QDir(scratch_home).filePath(QStringLiteral("results.txt")).toStdString());
  QDir(scratch_home).mkdir(QStringLiteral("Documents"));
  first->cmdSaveOutputClick();
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  qputenv("HOME", home);
  qputenv("XDG_CONFIG_HOME", config);
  EXPECT_EQ(save->proposals.back(),
            QDir(scratch_home).filePath(QStringLiteral("Documents/results.txt")).toStdString());
  EXPECT_EQ(documents, QDir(scratch_home).filePath(QStringLiteral("Documents")));
  QDir(dir.path()).mkdir(QStringLiteral("cases"));
  save->answers = {dir.filePath(QStringLiteral("cases/monday.txt")).toStdString()};
  first->cmdSaveOutputClick();
  first->findChild<QAction*>(QStringLiteral("mnuShowFigure"))->setChecked(false);
  first->resize(first->minimumWidth() + 40, first->minimumHeight() + 30);
  const QSize size = first->size();
  first->SaveSettings();
  first.reset();

  auto second = make_viewer(save);
  EXPECT_EQ(second->size(), size);
  EXPECT_FALSE(second->findChild<QAction*>(QStringLiteral("mnuShowFigure"))->isChecked());
  second->cmdSaveOutputClick();
  EXPECT_EQ(save->proposals.back(),
            dir.filePath(QStringLiteral("cases/results.txt")).toStdString());
}

TEST_F(ResultsViewerTest, FocusFirstOnReturnThenOnTheLastFocusedControl) {
  Compute();
  EXPECT_EQ(viewer->focusWidget(), viewer->findChild<QWidget*>(QStringLiteral("cmdReturn")));
  memo->setFocus();
  viewer->cmdReturnClick();
  Compute();
  EXPECT_EQ(viewer->focusWidget(), memo);
}

// On a desktop whose unfocused selections are invisible (here: white on
// white), the memo still shows what Print Selection will print.
TEST(ResultsViewerLookTest, SelectionStaysVisibleWhenTheMemoLosesTheFocus) {
  const QPalette desktop = QApplication::palette();
  QPalette washed_out = desktop;
  washed_out.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  QApplication::setPalette(washed_out);
  tRecordingDialogs dialogs;
  TfrmTemplateResults viewer(dialogs, std::make_unique<tScriptedSaveDialog>(),
                             std::make_unique<tPdfPrinterProvider>());
  QApplication::setPalette(desktop);
  auto* memo = viewer.findChild<QPlainTextEdit*>(QStringLiteral("memoResults"));
  viewer.ShowResults("Results viewer: " + ProgramTitle);
  viewer.AppendLines(BuildReport(false, ProgramTitle, SampleAnalysis(), '.'));

  // The last three lines, in view after the report was appended.
  QTextCursor cursor(memo->document());
  cursor.movePosition(QTextCursor::End);
  cursor.movePosition(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor, 3);
  memo->setTextCursor(cursor);
  viewer.findChild<QWidget*>(QStringLiteral("cmdReturn"))->setFocus();
  ASSERT_FALSE(memo->hasFocus());
  const QColor highlight = memo->palette().color(QPalette::Active, QPalette::Highlight);
  const QImage image = memo->viewport()->grab().toImage();
  int highlighted = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == highlight) ++highlighted;
  EXPECT_GT(highlighted, 3 * 400);  // three selected lines, hundreds of pixels each
}

// The captions fit their buttons and the report is readable on screen;
// pictures of it go to QUORREL_SCREENSHOT_DIR when that names a folder.
TEST_F(ResultsViewerTest, CaptionsFitAndReportsAreReadable) {
  for (QPushButton* button : viewer->findChildren<QPushButton*>()) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QSize needed = button->style()->sizeFromContents(
        QStyle::CT_PushButton, &option,
        button->fontMetrics().size(Qt::TextShowMnemonic, button->text()), button);
    EXPECT_LE(needed.width(), button->width()) << button->text().toStdString();
    EXPECT_LE(needed.height(), button->height()) << button->text().toStdString();
  }
  const QString folder = qEnvironmentVariable("QUORREL_SCREENSHOT_DIR");
  const QRect text_area(memo->mapTo(viewer.get(), QPoint(4, 4)), QSize(700, memo->height() - 8));
  Compute();
  memo->moveCursor(QTextCursor::Start);
  const QImage one = viewer->grab().toImage();
  EXPECT_GT(DarkRows(one, text_area), 150);  // some 30 lines of text in view
  Compute(tLimits::OneSidedLower);
  const QImage two = viewer->grab().toImage();
  EXPECT_GT(DarkRows(two, text_area), 150);
  if (!folder.isEmpty()) {
    one.save(QDir(folder).filePath(QStringLiteral("results-one.png")));
    two.save(QDir(folder).filePath(QStringLiteral("results.png")));
  }
}

}  // namespace

namespace {

// The platform's save dialog, answered from a timer once it is up.
std::optional<std::string> RunSaveDialog(const std::string& proposed,
                                         const std::function<void(QFileDialog&)>& answer) {
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    answer(*dialog);
  });
  tQtSaveFileDialog save_dialog;
  return save_dialog.ChooseFile(proposed);
}

TEST(QtSaveFileDialogTest, ProposesTheNameFiltersTextFilesAndAddsNoExtension) {
  QTemporaryDir dir;
  const std::string proposed = dir.filePath(QStringLiteral("results.txt")).toStdString();
  QStringList filters;
  QString shown_name;
  const auto chosen = RunSaveDialog(proposed, [&](QFileDialog& dialog) {
    filters = dialog.nameFilters();
    shown_name = dialog.selectedFiles().value(0);
    dialog.selectFile(dir.filePath(QStringLiteral("case 12")));
    QMetaObject::invokeMethod(&dialog, "accept");
  });
  EXPECT_EQ(filters, QStringList{QStringLiteral("*.txt")});
  EXPECT_EQ(shown_name.toStdString(), proposed);
  EXPECT_EQ(chosen, dir.filePath(QStringLiteral("case 12")).toStdString());

  EXPECT_EQ(RunSaveDialog(proposed, [](QFileDialog& dialog) { dialog.reject(); }), std::nullopt);
}

}  // namespace

// On any screen the viewer lies on the screen with its four buttons whole
// and no report line wrapped; the figure is beside the text where both fit,
// and otherwise on a tab in the text's place, whole and large enough to
// read.  (Run once more at 1.5 scaling.)
TEST_F(ResultsViewerTest, FitsTheScreenWithItsButtonsAndTheFigureWhereItFits) {
  Compute();
  QCoreApplication::processEvents();
  const QRect area = viewer->screen()->availableGeometry().adjusted(-2, -2, 2, 2);
  EXPECT_LE(viewer->frameGeometry().width(), area.width());
  EXPECT_LE(viewer->frameGeometry().height(), area.height());
  QWidget* client = viewer->centralWidget();
  const auto whole_in_client = [&](QWidget* widget) {
    return client->rect().contains(QRect(widget->mapTo(client, QPoint(0, 0)), widget->size()));
  };
  for (const char* name : {"cmdSaveOutput", "cmdClearResults", "cmdReturn", "cmdExit"})
    EXPECT_TRUE(whole_in_client(viewer->findChild<QPushButton*>(QLatin1String(name)))) << name;
  int visual_lines = 0;
  for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next())
    visual_lines += b.layout()->lineCount();
  EXPECT_EQ(visual_lines, memo->document()->blockCount());

  auto* dock = viewer->findChild<QDockWidget*>(QStringLiteral("FigureDock"));
  auto* tabs = viewer->findChild<QTabBar*>(QStringLiteral("ResultsTabs"));
  auto* show = viewer->findChild<QAction*>(QStringLiteral("mnuShowFigure"));
  auto* figure = viewer->findChild<QWidget*>(QStringLiteral("FigureView"));
  ASSERT_TRUE(dock && tabs && show && figure);
  const bool roomy = area.width() >= 1300;
  EXPECT_TRUE(show->isChecked());
  EXPECT_EQ(dock->isVisible(), roomy);
  EXPECT_EQ(tabs->isVisible(), !roomy);
  if (roomy) {
    viewer->show();
    QCoreApplication::processEvents();
    EXPECT_GE(figure->width(), kFigurePanelWidth - 20);  // no sliver beside the text
  } else {
    tabs->setCurrentIndex(1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(memo->isVisible());
    ASSERT_TRUE(figure->isVisible());
    EXPECT_TRUE(whole_in_client(figure));
    EXPECT_GE(figure->height(), 200);  // no sliver, even at 1280 x 720 and 1.5
    auto* save_figure = viewer->findChild<QPushButton*>(QStringLiteral("cmdSaveFigure"));
    EXPECT_TRUE(whole_in_client(save_figure));
    tabs->setCurrentIndex(0);
    EXPECT_TRUE(memo->isVisible());
  }
  show->trigger();
  QCoreApplication::processEvents();
  EXPECT_FALSE(dock->isVisible());
  EXPECT_FALSE(tabs->isVisible());
  EXPECT_FALSE(figure->isVisible());
}
