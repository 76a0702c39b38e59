// quorrel-report's PDF writer: linked into the program (not into the
// command line's library) when the windows are built; the program's main()
// installs it.  It paints on Qt's offscreen platform, so no display is needed.
#include <QGuiApplication>
#include <cstdio>
#include <memory>

#include "cli/pdf_output.h"
#include "results/report_pdf.h"

namespace {

// Qt's own notes (a missing runtime folder, say) go to standard error as
// the program's messages do, with its name in front.
// The runtime folder that Qt misses where no desktop session set one (cron,
// a batch job) is of no use to a program that paints offscreen: that note
// is dropped.
void PrefixedQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  std::fprintf(stderr, "quorrel-report: %s\n", qPrintable(message));
}

class tQtPdfOutput : public tPdfOutput {
 public:
  std::string Render(const std::vector<tPdfReportEntry>& reports) override {
    // Fonts and painting need an application object: one lives for the
    // writing, and is gone again before the program's static objects are.
    std::unique_ptr<QGuiApplication> application;
    if (QGuiApplication::instance() == nullptr) {
      qInstallMessageHandler(PrefixedQtMessage);
      qputenv("QT_QPA_PLATFORM", "offscreen");
      static int argc = 1;
      static char name[] = "quorrel-report";
      static char* argv[] = {name, nullptr};
      application = std::make_unique<QGuiApplication>(argc, argv);
    }
    std::vector<tPdfReport> pieces;
    for (const tPdfReportEntry& entry : reports) {
      QStringList lines;
      for (const std::string& line : entry.lines)
        lines.push_back(QString::fromStdString(line));
      pieces.push_back(
          {lines.join(QLatin1Char('\n')), tPdfFigure{entry.analysis, entry.decimal_separator}});
    }
    return ReportsPdf(pieces);
  }
};

}  // namespace

tPdfOutput* ProgramPdfOutput() {
  static tQtPdfOutput output;
  return &output;
}
