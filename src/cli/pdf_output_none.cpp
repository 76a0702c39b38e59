// quorrel-report in a build without the windows: no PDF writer, and --pdf
// says so.
#include "cli/pdf_output.h"

tPdfOutput* ProgramPdfOutput() {
  return nullptr;
}
