// The reports as a PDF file: the text laid out as printing lays it out (the
// printer font, its size and line layout), each report followed by its
// figure.  No printer is involved.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "analysis/compute_driver.h"

// A report's figure: the analysis it shows and the decimal separator of its
// numbers, the report's.
struct tPdfFigure {
  tAnalysis analysis;
  char decimal_separator;
  int report_number = 0;  // its place among the viewer's reports; 0 for none
};

// One piece of the document: text, and the figure that follows it (none for
// text that is not a report, such as the user's own lines).
struct tPdfReport {
  QString text;  // lines separated by "\n"
  std::optional<tPdfFigure> figure;
};

// The PDF document of `reports`, on A4 pages with margins of 10 mm.  Each
// piece begins on a new page; its figure follows its last line, or tops the
// next page when it does not fit below it.  Each figure is one image, 90
// characters of the printer font wide.  Made in memory; throws
// std::bad_alloc when memory runs out, an `Exception` when painting fails.
std::string ReportsPdf(const std::vector<tPdfReport>& reports);

// The document above written to the PDF file `file` as every file of the
// program is written (WriteDocumentFile): a failure throws EInOutError
// ("The PDF file could not be written: FILE (Disk full)") and leaves an
// earlier file as it was.
void WriteReportsPdf(const QString& file, const std::vector<tPdfReport>& reports);
