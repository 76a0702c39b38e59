#include "results/report_pdf.h"

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include "numeric/errors.h"
#include "results/figure.h"
#include "results/print_document.h"
#include "results/print_layout.h"

namespace {

// The figure as an image of this many pixels per canvas unit: sharp when
// printed at the width of the text area.
constexpr int kFigureScale = 3;

// The figure's width on the page, in characters of the printer font.
constexpr int kFigureChars = 90;

QImage FigureImage(const tPdfFigure& figure) {
  QImage image(kFigureScale * kFigureWidth, kFigureScale * kFigureHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintFigure(painter, QRectF(0, 0, image.width(), image.height()), figure.analysis,
                figure.decimal_separator, figure.report_number);
  }
  // The figure has no colour; grey levels keep the file small.
  return image.convertToFormat(QImage::Format_Grayscale8);
}

}  // namespace

void WriteReportsPdf(const QString& file, const std::vector<tPdfReport>& reports) {
  const std::string failure = "The PDF file could not be written: " + file.toStdString();
  {
    // QPdfWriter does not say when its file cannot be created.
    QFile probe(file);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw Exception(failure);
  }
  QPdfWriter writer(file);
  writer.setCreator(QStringLiteral("Quorrel"));
  writer.setTitle(QStringLiteral("Quorrel results"));
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));

  const QFont font = PrinterFont();
  const tPrintMetrics metrics = PrintMetricsFor(font, writer);
  const tPrintPage page{writer.width(), writer.height()};
  const int ascent = QFontMetrics(font, &writer).ascent();

  QPainter painter;
  if (!painter.begin(&writer)) throw Exception(failure);
  painter.setFont(font);
  painter.setPen(Qt::black);
  bool first_page = true;
  auto next_page = [&] {
    if (!first_page && !writer.newPage()) {
      painter.end();
      throw Exception(failure);
    }
    first_page = false;
  };
  for (const tPdfReport& report : reports) {
    // Laid out as printing lays out a text: followed by one line end.
    const std::vector<tPrintedPage> pages =
        LayOutPrintText((report.text + QLatin1Char('\n')).toStdU32String(), metrics, page);
    int bottom = 0;  // below the last line of text on the last page
    for (const tPrintedPage& printed : pages) {
      next_page();
      PaintPrintedPage(painter, printed, ascent);
      bottom = printed.runs.empty() ? 0 : printed.runs.back().y + metrics.text_height + 2;
    }
    if (!report.figure) continue;
    // About as wide as a report's lines, so that it fits below a report
    // without notes on the same page.
    const double width = std::min(page.width, kFigureChars * metrics.average_char_width);
    const double height = width * kFigureHeight / kFigureWidth;
    double top = bottom + 2 * metrics.font_height;
    if (top + height > page.height) {
      next_page();
      top = 0;
    }
    painter.drawImage(QRectF(0, top, width, height), FigureImage(*report.figure));
  }
  if (first_page) next_page();  // nothing at all: one empty page
  if (!painter.end()) throw Exception(failure);
}
