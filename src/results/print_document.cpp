#include "results/print_document.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "numeric/errors.h"

tSystemPrinterProvider::tSystemPrinterProvider(QString document_name)
    : document_name_(std::move(document_name)) {}

tSystemPrinterProvider::~tSystemPrinterProvider() = default;

std::unique_ptr<QPagedPaintDevice> tSystemPrinterProvider::DefaultPrinter() {
  spool_.reset();
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) throw Exception("There is no default printer currently selected");
  auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  if (!printer->isValid()) throw Exception("There is no default printer currently selected");
  if (!QStandardPaths::findExecutable(QStringLiteral("lp")).isEmpty()) {
    auto spool = std::make_unique<QTemporaryDir>();
    if (!spool->isValid()) throw Exception("The printer did not accept the document");
    // The printer's own paper and printable area, written to the spool file.
    const QPageLayout layout = printer->pageLayout();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(spool->filePath(QStringLiteral("job.pdf")));
    printer->setPageLayout(layout);
    printer_name_ = info.printerName();
    spool_ = std::move(spool);
  }
  printer->setFullPage(false);
  printer->setDocName(document_name_);
  return printer;
}

void tSystemPrinterProvider::Release(QPagedPaintDevice& device) {
  static_cast<void>(device);
  if (spool_ == nullptr) return;  // Qt has submitted the job itself
  const std::unique_ptr<QTemporaryDir> spool = std::move(spool_);
  SubmitPrintJob(QStringLiteral("lp"), printer_name_, document_name_,
                 spool->filePath(QStringLiteral("job.pdf")));
}

void SubmitPrintJob(const QString& client, const QString& printer, const QString& title,
                    const QString& file) {
  QProcess lp;
  lp.setProcessChannelMode(QProcess::SeparateChannels);
  lp.start(client, {QStringLiteral("-d"), printer, QStringLiteral("-t"), title,
                    QStringLiteral("--"), file});
  if (!lp.waitForStarted(30000))
    throw Exception("The print system could not be reached: " + lp.errorString().toStdString());
  lp.closeWriteChannel();
  if (!lp.waitForFinished(120000)) {
    lp.kill();
    lp.waitForFinished(5000);
    throw Exception("The printer did not answer");
  }
  if (lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0) return;
  // The print system's explanation is the first line the client wrote, less
  // the client's own name in front.
  QString why = QString::fromLocal8Bit(lp.readAllStandardError()).trimmed().section(u'\n', 0, 0);
  const qsizetype colon = why.indexOf(QStringLiteral(": "));
  if (colon > 0 && why.left(colon).endsWith(QFileInfo(client).fileName())) why.remove(0, colon + 2);
  if (why.isEmpty()) why = QStringLiteral("error %1").arg(lp.exitCode());
  throw Exception("The printer did not accept the document: " + why.toStdString());
}

QFont PrinterFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(8);
  return font;
}

tPrintMetrics PrintMetricsFor(const QFont& font, QPagedPaintDevice& device) {
  const QFontMetrics fm(font, &device);
  tPrintMetrics m;
  m.average_char_width = fm.averageCharWidth();
  m.text_height = fm.height();
  m.font_height = qRound(font.pointSizeF() * device.logicalDpiY() / 72.0);
  m.advance = [fm](char32_t c) { return fm.horizontalAdvance(QString::fromUcs4(&c, 1)); };
  return m;
}

namespace {

// The state a finished QPrinter reports; other devices have none to report.
bool PrinterFailed(QPagedPaintDevice& device) {
  auto* printer = dynamic_cast<QPrinter*>(&device);
  return printer != nullptr && printer->printerState() == QPrinter::Error;
}

}  // namespace

void PaintPrintedPage(QPainter& painter, const tPrintedPage& page, int ascent) {
  for (const tPrintRun& run : page.runs)
    painter.drawText(run.x, run.y + ascent, QString::fromStdU32String(run.text));
}

void PrintTextDocument(QPagedPaintDevice& device, const QString& stream) {
  const QFont font = PrinterFont();
  const tPrintMetrics metrics = PrintMetricsFor(font, device);
  const std::vector<tPrintedPage> pages = LayOutPrintText(
      stream.toStdU32String(), metrics, tPrintPage{device.width(), device.height()});

  QPainter painter;
  if (!painter.begin(&device) || PrinterFailed(device))
    throw Exception("The printer did not accept the document");
  painter.setFont(font);
  painter.setPen(Qt::black);
  const int ascent = QFontMetrics(font, &device).ascent();
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (i > 0 && !device.newPage()) {
      painter.end();
      throw Exception("The printer did not accept a new page");
    }
    PaintPrintedPage(painter, pages[i], ascent);
  }
  if (!painter.end() || PrinterFailed(device))
    throw Exception("The printer reported an error while printing");
}
