#include "results/report_pdf.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/document_file.h"
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

const char* const kPdfFailure = "The PDF document could not be made";

// How long the painting threads may take to start.
constexpr int kThreadStartMilliseconds = 10000;

QImage FigureImage(const tPdfFigure& figure) {
  QImage image(kFigureScale * kFigureWidth, kFigureScale * kFigureHeight, QImage::Format_RGB32);
  // QImage answers a failed allocation with a null image, not an error: a
  // PDF without its figure must not pass for a whole one.
  if (image.isNull()) throw std::bad_alloc();
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintFigure(painter, QRectF(0, 0, image.width(), image.height()), figure.analysis,
                figure.decimal_separator, figure.report_number);
  }
  // The figure has no colour; grey levels keep the file small.
  QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  if (grey.isNull()) throw std::bad_alloc();
  return grey;
}

// Qt fills and converts large images on the threads of its global pool and
// waits for them; a thread that the system cannot start (too little memory
// for its stack) would leave it waiting for ever, and the pool does not say
// so.  The system is therefore asked first, with threads of the same kind,
// and the pool's threads are started before the painting: a system that
// cannot start them is short of memory.
void StartPaintingThreads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  const int count = std::max(1, pool->maxThreadCount());
  {
    std::vector<std::thread> probes;
    try {
      for (int i = 0; i < count; ++i)
        probes.emplace_back([] {});
    } catch (const std::system_error&) {
      for (std::thread& probe : probes)
        probe.join();
      throw std::bad_alloc();
    }
    for (std::thread& probe : probes)
      probe.join();
  }
  // Each task holds its thread until all have started, so that the pool
  // starts as many threads as it may use.
  auto started = std::make_shared<QSemaphore>();
  auto go = std::make_shared<QSemaphore>();
  for (int i = 0; i < count; ++i)
    pool->start([started, go] {
      started->release();
      go->acquire();
    });
  const bool all = started->tryAcquire(count, kThreadStartMilliseconds);
  go->release(count);
  if (!all) throw std::bad_alloc();
}

// The pieces on the pages of `writer`, through `painter`, begun on it.
void PaintReports(QPainter& painter, QPdfWriter& writer, const std::vector<tPdfReport>& reports) {
  const QFont font = PrinterFont();
  const tPrintMetrics metrics = PrintMetricsFor(font, writer);
  const tPrintPage page{writer.width(), writer.height()};
  const int ascent = QFontMetrics(font, &writer).ascent();

  painter.setFont(font);
  painter.setPen(Qt::black);
  bool first_page = true;
  auto next_page = [&] {
    if (!first_page && !writer.newPage()) throw Exception(kPdfFailure);
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
}

}  // namespace

std::string ReportsPdf(const std::vector<tPdfReport>& reports) {
  StartPaintingThreads();
  // Made in memory, so that nothing touches the file until the whole
  // document is there: QPdfWriter does not say when a write fails.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  auto writer = std::make_unique<QPdfWriter>(&buffer);
  writer->setCreator(QStringLiteral("Quorrel"));
  writer->setTitle(QStringLiteral("Quorrel results"));
  writer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                    QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(writer.get())) throw Exception(kPdfFailure);
  // Ending the painter writes the document out, which can run out of
  // memory too.  A painter whose end failed is left as it stands, with its
  // device: destroying it would end it again, from a destructor, and that
  // ends the program.
  auto end_painter = [&] {
    try {
      return painter->end();
    } catch (...) {
      (void)painter.release();
      (void)writer.release();
      throw;
    }
  };
  try {
    PaintReports(*painter, *writer, reports);
  } catch (...) {
    end_painter();
    throw;
  }
  if (!end_painter()) throw Exception(kPdfFailure);
  painter.reset();
  writer.reset();
  buffer.close();
  return bytes.toStdString();
}

void WriteReportsPdf(const QString& file, const std::vector<tPdfReport>& reports) {
  WriteDocumentFile(file.toStdString(), ReportsPdf(reports), "PDF file");
}
