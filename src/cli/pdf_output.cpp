#include "cli/pdf_output.h"

namespace {
constinit tPdfOutput* g_pdf_output = nullptr;
}  // namespace

tPdfOutput* PdfOutput() {
  return g_pdf_output;
}

void SetPdfOutput(tPdfOutput* output) {
  g_pdf_output = output;
}
