// The viewer's figure side as a user meets it: the figure of the latest
// report, Save Figure... and Save as PDF..., whose file holds the memo's
// text as printed and one image per report, also after hand edits.
#include "results/figure_panel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <deque>

#include <gtest/gtest.h>

#include "analysis/data_file.h"
#include "analysis/report.h"
#include "pdf_text.h"
#include "results/TemplateResults.h"
#include "results/figure.h"
#include "results_fakes.h"
#include "support/file_size_limit.h"
#include "support/recording_dialogs.h"

namespace {

// Answers each dialog from a script and records the filters it was given.
class tScriptedExportDialog : public tExportFileDialog {
 public:
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> proposals;
  std::vector<QString> filters;
  std::optional<std::string> ChooseFile(const std::string& proposed,
                                        const QString& filter) override {
    proposals.push_back(proposed);
    filters.push_back(filter);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// The images in a PDF file, from poppler's pdfimages -list.
int PdfImages(const QString& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return -1;
  const QStringList lines =
      QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  return static_cast<int>(lines.size()) - 2;  // two heading lines
}

class FigurePanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    if (qEnvironmentVariableIsSet("QUORREL_KEEP_TEST_FILES")) {
      dir.setAutoRemove(false);
      std::printf("test files in %s\n", qPrintable(dir.path()));
    }
    viewer = std::make_unique<TfrmTemplateResults>(dialogs, std::make_unique<tScriptedSaveDialog>(),
                                                   std::make_unique<tPdfPrinterProvider>());
    memo = viewer->findChild<QPlainTextEdit*>(QStringLiteral("memoResults"));
    panel = viewer->findChild<tFigurePanel*>(QStringLiteral("FigurePanel"));
    ASSERT_NE(panel, nullptr);
    auto files = std::make_unique<tScriptedExportDialog>();
    export_dialog = files.get();
    panel->SetFileDialog(std::move(files));
    save_figure = viewer->findChild<QPushButton*>(QStringLiteral("cmdSaveFigure"));
    save_pdf = viewer->findChild<QPushButton*>(QStringLiteral("cmdSavePdf"));
    ASSERT_NE(save_figure, nullptr);
    ASSERT_NE(save_pdf, nullptr);
  }

  // What Compute does, the figure included.
  tAnalysis Compute(tLimits limits = tLimits::TwoSided, char separator = '.') {
    tAnalysis analysis = SampleAnalysis(limits);
    analysis.request.iterations = 20000;
    analysis = RunAnalysis(analysis.request);
    const auto report = BuildReport(viewer->HoldsText(), ProgramTitle, analysis, separator);
    viewer->ShowResults("Results viewer: " + ProgramTitle);
    viewer->AppendLines(report);
    viewer->AttachFigure(analysis, separator);
    return analysis;
  }

  QString SavePdf(const char* name) {
    const QString file = dir.filePath(QString::fromLatin1(name));
    export_dialog->answers.push_back(file.toStdString());
    save_pdf->click();
    return file;
  }

  QTemporaryDir dir;
  tRecordingDialogs dialogs;
  std::unique_ptr<TfrmTemplateResults> viewer;
  QPlainTextEdit* memo = nullptr;
  tFigurePanel* panel = nullptr;
  tScriptedExportDialog* export_dialog = nullptr;
  QPushButton* save_figure = nullptr;
  QPushButton* save_pdf = nullptr;
};

TEST_F(FigurePanelTest, LatestReportsFigureShownUntilTheMemoIsEmptied) {
  EXPECT_FALSE(panel->View()->HasFigure());
  EXPECT_FALSE(save_figure->isEnabled());
  Compute();
  const tAnalysis second = Compute(tLimits::OneSidedUpper, ',');
  ASSERT_TRUE(panel->View()->HasFigure());
  EXPECT_EQ(panel->View()->Analysis()->request.options.limits, tLimits::OneSidedUpper);
  EXPECT_EQ(panel->View()->DecimalSeparator(), ',');
  EXPECT_TRUE(save_figure->isEnabled());
  EXPECT_TRUE(panel->View()->isVisibleTo(viewer.get()));
  // The figure sits beside a client area at least as large as the original.
  EXPECT_GE(viewer->centralWidget()->width(), kResultsClientWidth);
  EXPECT_GE(viewer->centralWidget()->height(), kResultsClientHeight);
  EXPECT_GE(panel->mapTo(viewer.get(), QPoint(0, 0)).x(), viewer->centralWidget()->width());

  dialogs.choice_answers = {1};  // clear without saving
  viewer->cmdClearResultsClick();
  dialogs.events.clear();
  EXPECT_FALSE(panel->View()->HasFigure());
  EXPECT_FALSE(save_figure->isEnabled());
  EXPECT_EQ(panel->Reports(), 0);
  // Emptied by hand counts the same.
  Compute();
  memo->selectAll();
  memo->textCursor().removeSelectedText();
  EXPECT_EQ(panel->Reports(), 0);
  EXPECT_TRUE(dialogs.events.empty());
}

// The figure names the report it shows (its number, the case's scores, the
// notes' first line) on screen, in a saved file and in the PDF, and follows
// the report the user reads: under the text cursor when that is in view,
// otherwise in the middle of the view.
TEST_F(FigurePanelTest, FigureNamesAndFollowsTheReportBeingRead) {
  tAnalysis first = SampleAnalysis();
  first.request.options.notes = {"  ", "Mrs B., left parietal", "second line"};
  first.request.iterations = 20000;
  first = RunAnalysis(first.request);
  viewer->ShowResults("Results viewer: " + ProgramTitle);
  viewer->AppendLines(BuildReport(false, ProgramTitle, first, '.'));
  viewer->AttachFigure(first, '.');
  Compute(tLimits::OneSidedUpper, ',');
  viewer->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(panel->ShownReport(), 2);

  // As a screen reader is told it: the first line of the figure's description.
  const auto identity = [&] { return panel->View()->accessibleDescription().section('\n', 0, 0); };
  EXPECT_EQ(identity(), QStringLiteral("Report 2: case's scores X = 70,00, Y = 55,00"));
  // The text cursor moved into the first report, in view.
  QTextCursor cursor(memo->document());
  cursor.setPosition(5);
  memo->setTextCursor(cursor);
  memo->ensureCursorVisible();
  EXPECT_EQ(panel->ShownReport(), 1);
  EXPECT_EQ(identity(),
            QStringLiteral("Report 1: case's scores X = 70.00, Y = 55.00; Mrs B., left parietal"));
  const QString svg = dir.filePath(QStringLiteral("first.svg"));
  export_dialog->answers = {svg.toStdString()};
  save_figure->click();
  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray content = file.readAll();
  EXPECT_TRUE(content.contains("Report 1: case"));
  EXPECT_TRUE(content.contains("X = 70.00, Y = 55.00; Mrs B., left parietal"));
  // Scrolled to the end, away from the cursor: the view's report.
  memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
  EXPECT_EQ(panel->ShownReport(), 2);
  EXPECT_EQ(panel->View()->Analysis()->request.options.limits, tLimits::OneSidedUpper);
  // The PDF numbers its figures as the viewer does.
  const std::vector<tPdfReport> pieces = panel->Pieces();
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].figure->report_number, 1);
  EXPECT_EQ(pieces[1].figure->report_number, 2);
}

TEST_F(FigurePanelTest, SaveFigureWritesPngOrSvgByTheNamesSuffix) {
  Compute();
  const QString png = dir.filePath(QStringLiteral("case.png"));
  const QString svg = dir.filePath(QStringLiteral("case.SVG"));
  export_dialog->answers = {png.toStdString(), svg.toStdString()};
  save_figure->click();
  save_figure->click();
  EXPECT_EQ(export_dialog->proposals, (std::vector<std::string>{"figure.png", png.toStdString()}));
  EXPECT_TRUE(export_dialog->filters.front().contains(QStringLiteral("*.svg")));
  EXPECT_EQ(QImage(png).size(), QSize(2 * kFigureWidth, 2 * kFigureHeight));
  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("<svg"));

  // An existing file is replaced only after a Yes; an unwritable one is
  // reported in the error box.
  dialogs.confirm_answers.push_back(false);
  export_dialog->answers = {png.toStdString()};
  const auto before = QFileInfo(png).lastModified();
  save_figure->click();
  EXPECT_EQ(dialogs.events,
            std::vector<std::string>{"confirm:" + OverwriteQuestion(png.toStdString())});
  EXPECT_EQ(QFileInfo(png).lastModified(), before);
  dialogs.events.clear();
  export_dialog->answers = {dir.filePath(QStringLiteral("missing/figure.png")).toStdString()};
  save_figure->click();
  ASSERT_EQ(dialogs.events.size(), 1u);
  EXPECT_EQ(dialogs.events[0].rfind("error:The figure could not be written", 0), 0u)
      << dialogs.events[0];
}

TEST_F(FigurePanelTest, PdfHoldsTheTextAsPrintedAndOneImagePerReport) {
  if (!HavePopplerTool("pdftotext") || !HavePopplerTool("pdfimages"))
    GTEST_SKIP() << "poppler-utils not installed";
  Compute();
  Compute(tLimits::OneSidedLower);
  Compute(tLimits::OneSidedUpper);
  const QString pdf = SavePdf("three.pdf");
  EXPECT_TRUE(dialogs.events.empty()) << dialogs.events.front();
  EXPECT_EQ(export_dialog->proposals.front(), "results.pdf");
  // The text tools space out the monospace lines at will; the words count.
  EXPECT_EQ(Simplified(NonEmptyLines(PdfText(pdf))),
            Simplified(NonEmptyLines(viewer->ResultsText())));
  EXPECT_EQ(PdfImages(pdf), 3);
  // Each report begins a page: the separators open pages two and three.
  const QStringList pages = PdfText(pdf).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
  ASSERT_GE(pages.size(), 3);
  EXPECT_TRUE(NonEmptyLines(pages[1]).front().startsWith(QString(96, QLatin1Char('_'))));

  // Hand edits: a line typed before the first report, the middle report
  // deleted whole, text after the last.  The figures follow their reports.
  QTextCursor cursor(memo->document());
  cursor.insertText(QStringLiteral("Seen by: A. N. Other\n"));
  const QString text = memo->toPlainText();
  const int second = text.indexOf(QString(96, QLatin1Char('_')));
  const int third = text.indexOf(QString(96, QLatin1Char('_')), second + 1);
  cursor.setPosition(second);
  cursor.setPosition(third, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QStringLiteral("\nTo be discussed on Monday."));
  const std::vector<tPdfReport> pieces = panel->Pieces();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_TRUE(pieces[0].text.startsWith(QStringLiteral("Seen by")));
  EXPECT_EQ(pieces[1].figure->analysis.request.options.limits, tLimits::OneSidedUpper);
  EXPECT_FALSE(pieces[2].figure.has_value());
  const QString edited = SavePdf("edited.pdf");
  EXPECT_EQ(Simplified(NonEmptyLines(PdfText(edited))),
            Simplified(NonEmptyLines(viewer->ResultsText())));
  EXPECT_EQ(PdfImages(edited), 2);

  // Only text: no image; an empty memo gives an empty page.
  viewer->cmdClearResultsClick();
  memo->setPlainText(QStringLiteral("Patient 17"));
  EXPECT_EQ(PdfImages(SavePdf("text.pdf")), 0);
  viewer->cmdClearResultsClick();
  const QString empty = SavePdf("empty.pdf");
  EXPECT_EQ(PdfImages(empty), 0);
  EXPECT_TRUE(NonEmptyLines(PdfText(empty)).isEmpty());
}

TEST_F(FigurePanelTest, PdfThatCannotBeWrittenIsReported) {
  Compute();
  SavePdf("no/such/folder/results.pdf");
  ASSERT_EQ(dialogs.events.size(), 1u);
  EXPECT_EQ(dialogs.events[0].rfind("error:The PDF file could not be written", 0), 0u)
      << dialogs.events[0];
  // A full disk leaves the earlier file whole, and the box says why.
  dialogs.events.clear();
  const QString earlier = dir.filePath(QStringLiteral("earlier.pdf"));
  {
    QFile file(earlier);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the earlier document");
  }
  dialogs.confirm_answers.push_back(true);  // replace it
  {
    tFileSizeLimit full_disk(8);
    ASSERT_TRUE(full_disk.Ok());
    SavePdf("earlier.pdf");
  }
  ASSERT_EQ(dialogs.events.size(), 2u);
  EXPECT_NE(dialogs.events[1].find("(Disk full)"), std::string::npos) << dialogs.events[1];
  QFile kept(earlier);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("the earlier document"));
  kept.close();
  QFile::remove(earlier);
  // Cancelled: nothing written, nothing said.
  dialogs.events.clear();
  save_pdf->click();
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  EXPECT_TRUE(dialogs.events.empty());
}

}  // namespace
