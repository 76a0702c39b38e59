// Printing through the machine's own print system: the missing default
// printer, and one real job on a CUPS virtual PDF printer (cups-pdf), whose
// output is rendered and checked for printed lines.  Both skip, never pass,
// where their situation cannot be had.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "analysis/compute_driver.h"
#include "analysis/data_file.h"
#include "analysis/report.h"
#include "pdf_text.h"
#include "results/TemplateResults.h"
#include "results/print_document.h"
#include "results/results_file.h"
#include "results_fakes.h"
#include "support/recording_dialogs.h"

namespace {

QString RunTool(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForFinished(30000)) return {};
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The folders cups-pdf may write into: its configured Out folder for this
// user, and the ones it uses by default.
QStringList CupsPdfFolders() {
  QStringList folders;
  QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
  if (conf.open(QIODevice::ReadOnly)) {
    static const QRegularExpression out(QStringLiteral("^\\s*Out\\s+(\\S+)"));
    for (const QByteArray& line : conf.readAll().split('\n')) {
      const auto match = out.match(QString::fromLocal8Bit(line));
      if (match.hasMatch()) {
        QString folder = match.captured(1);
        folder.replace(QStringLiteral("${HOME}"), QDir::homePath());
        folder.replace(QStringLiteral("${USER}"), qEnvironmentVariable("USER", "root"));
        folders.push_back(folder);
      }
    }
  }
  folders << QDir::homePath() + QStringLiteral("/PDF")
          << QStringLiteral("/var/spool/cups-pdf/ANONYMOUS");
  folders.removeDuplicates();
  return folders;
}

QString FindPdfNamed(const QString& part) {
  for (const QString& folder : CupsPdfFolders()) {
    QDirIterator it(folder, {QStringLiteral("*.pdf")}, QDir::Files);
    while (it.hasNext()) {
      const QString file = it.next();
      if (QFileInfo(file).fileName().contains(part)) return file;
    }
  }
  return {};
}

TEST(SystemPrinterTest, NoDefaultPrinterIsReportedAsAnError) {
  if (!QPrinterInfo::defaultPrinter().isNull())
    GTEST_SKIP() << "a default printer is installed here";
  tSystemPrinterProvider provider;
  try {
    provider.DefaultPrinter();
    ADD_FAILURE() << "a printer was returned";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "There is no default printer currently selected");
  }
  // The viewer shows it as an escaped error and keeps its text.
  tRecordingDialogs dialogs;
  TfrmTemplateResults viewer(dialogs);
  viewer.AppendLines({"one line"});
  viewer.mnuPrintClick();
  EXPECT_EQ(dialogs.errors,
            std::vector<std::string>{"There is no default printer currently selected."});
  EXPECT_EQ(viewer.ResultsText(), QStringLiteral("one line"));
}

// The print system's refusal reaches the user with its reason, whether the
// printer is unknown or no scheduler is running at all.
TEST(SystemPrinterTest, RefusedJobIsReportedWithTheReason) {
  if (QStandardPaths::findExecutable(QStringLiteral("lp")).isEmpty())
    GTEST_SKIP() << "the print system's client lp is not installed";
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("job.pdf"));
  {
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.write("%PDF-1.4\n%%EOF\n");
  }
  const QString prefix = QStringLiteral("The printer did not accept the document: ");
  try {
    SubmitPrintJob(QStringLiteral("lp"), QStringLiteral("quorrel-no-such-printer"),
                   QStringLiteral("quorrel-refusal-check"), file);
    ADD_FAILURE() << "the job was accepted";
  } catch (const Exception& e) {
    const QString message = QString::fromStdString(e.Message());
    EXPECT_TRUE(message.startsWith(prefix)) << e.what();
    EXPECT_GT(message.size(), prefix.size() + 5) << e.what();
    EXPECT_FALSE(message.contains(QStringLiteral("lp: "))) << e.what();
  }
  EXPECT_THROW(SubmitPrintJob(QStringLiteral("/nonexistent/quorrel-lp"), QStringLiteral("PDF"),
                              QStringLiteral("t"), file),
               Exception);
}

TEST(SystemPrinterTest, ExampleReportPrintsOnTheVirtualPdfPrinter) {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) GTEST_SKIP() << "no default printer (CUPS not running here)";
  const QString device =
      RunTool(QStringLiteral("lpstat"), {QStringLiteral("-v"), info.printerName()});
  if (!device.contains(QStringLiteral("cups-pdf:")))
    GTEST_SKIP() << "the default printer is not a cups-pdf printer: " << device.toStdString();
  if (!HavePopplerTool("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";

  // A job title no other file has, so the job's PDF can be told apart.
  const QString title = QStringLiteral("quorrel-print-check-%1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QDateTime::currentMSecsSinceEpoch());
  tRecordingDialogs dialogs;
  TfrmTemplateResults viewer(dialogs, std::make_unique<tQtSaveFileDialog>(),
                             std::make_unique<tSystemPrinterProvider>(title));
  // The worked example's report, with the engine's real numbers.
  viewer.AppendLines(BuildReport(false, ProgramTitle, RunAnalysis(SampleAnalysis().request), '.'));
  viewer.mnuPrintClick();
  ASSERT_TRUE(dialogs.events.empty()) << dialogs.events.front();

  QString pdf;
  QElapsedTimer waited;
  waited.start();
  while ((pdf = FindPdfNamed(title)).isEmpty() && waited.elapsed() < 60000)
    QThread::msleep(250);
  ASSERT_FALSE(pdf.isEmpty()) << "no PDF for job " << title.toStdString() << " in "
                              << CupsPdfFolders().join(' ').toStdString();
  // The backend may still be writing it: wait for the file's end marker.
  auto written = [&pdf] {
    QFile file(pdf);
    return file.open(QIODevice::ReadOnly) && file.readAll().trimmed().endsWith("%%EOF");
  };
  while (!written() && waited.elapsed() < 60000)
    QThread::msleep(250);

  QTemporaryDir dir;
  const QString png_base = dir.filePath(QStringLiteral("page"));
  QProcess render;  // its warnings about the printer's fonts are of no interest
  render.setStandardErrorFile(QProcess::nullDevice());
  render.start(
      QStringLiteral("pdftoppm"),
      {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"), QStringLiteral("-f"),
       QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"), pdf, png_base});
  render.waitForFinished(60000);
  const QStringList pages = QDir(dir.path()).entryList({QStringLiteral("page*.png")});
  ASSERT_EQ(pages.size(), 1) << "pdftoppm made no page of " << pdf.toStdString();
  const QImage page(dir.filePath(pages.front()));
  ASSERT_FALSE(page.isNull());

  // Printed text: dark pixels, in as many separate bands as the report has
  // lines of text (37 of its 52 lines), starting near the top of the page.
  int dark_pixels = 0;
  int text_rows = 0;
  int first_dark_row = -1;
  bool in_text = false;
  for (int y = 0; y < page.height(); ++y) {
    int dark_in_row = 0;
    for (int x = 0; x < page.width(); ++x)
      if (qGray(page.pixel(x, y)) < 128) ++dark_in_row;
    dark_pixels += dark_in_row;
    if (dark_in_row > 0 && first_dark_row < 0) first_dark_row = y;
    if (dark_in_row > 0 && !in_text) ++text_rows;
    in_text = dark_in_row > 0;
  }
  EXPECT_GT(dark_pixels, 5000);
  EXPECT_GE(text_rows, 37);
  EXPECT_LE(text_rows, 40);
  EXPECT_LT(first_dark_row, page.height() / 8);

  const QString keep = qEnvironmentVariable("QUORREL_SCREENSHOT_DIR");
  if (!keep.isEmpty()) page.save(QDir(keep).filePath(QStringLiteral("print-example.png")));
  QFile::remove(pdf);
}

}  // namespace
