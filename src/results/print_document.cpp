#include "results/print_document.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "numeric/errors.h"

tSystemPrinterProvider::tSystemPrinterProvider(QString document_name)
    : document_name_(std::move(document_name)) {}

std::unique_ptr<QPagedPaintDevice> tSystemPrinterProvider::DefaultPrinter() {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) throw Exception("There is no default printer currently selected");
  auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  printer->setFullPage(false);
  printer->setDocName(document_name_);
  if (!printer->isValid()) throw Exception("There is no default printer currently selected");
  return printer;
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
    for (const tPrintRun& run : pages[i].runs)
      painter.drawText(run.x, run.y + ascent, QString::fromStdU32String(run.text));
  }
  if (!painter.end() || PrinterFailed(device))
    throw Exception("The printer reported an error while printing");
}
