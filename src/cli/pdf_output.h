// quorrel-report --pdf: where the report goes to be written as a PDF file.
// Writing a PDF needs Qt's painting, which the command line's library does
// not link; the quorrel-report program of a build with the windows links a
// writer of its own (ProgramPdfOutput), which its main() installs here.
#pragma once

#include <string>
#include <vector>

#include "analysis/compute_driver.h"

// One report with the analysis whose figure follows it.
struct tPdfReportEntry {
  std::vector<std::string> lines;
  tAnalysis analysis;
  char decimal_separator;  // of the report's numbers and the figure's
};

class tPdfOutput {
 public:
  virtual ~tPdfOutput() = default;
  // The PDF document of `reports`, laid out as printed, each report
  // followed by its figure, made in memory.  Throws std::bad_alloc when
  // memory runs out, an `Exception` when the document cannot be made.
  virtual std::string Render(const std::vector<tPdfReportEntry>& reports) = 0;
};

// The writer in use; none (nullptr) until one is installed.
tPdfOutput* PdfOutput();
void SetPdfOutput(tPdfOutput* output);

// The writer linked into the quorrel-report program: Qt's, from
// src/results/report_pdf_cli.cpp, in a build with the windows; none
// (nullptr, pdf_output_none.cpp) without them.
tPdfOutput* ProgramPdfOutput();
