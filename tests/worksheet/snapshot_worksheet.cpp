// Renders the worksheet as it looks at start-up into a PNG file, for the
// screenshots in docs/.  Usage: snapshot_worksheet OUTPUT.png [DATA-FOLDER]
// With a data folder holding quorreldata.txt the control data are restored.
// Run with QT_QPA_PLATFORM=offscreen; QT_SCALE_FACTOR=2 gives the 2x view.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "analysis/data_file.h"
#include "analysis/report.h"
#include "support/recording_dialogs.h"
#include "worksheet/difflims_Form.h"

namespace {

class tNoResults : public tResultsDisplay {
 public:
  bool HoldsText() const override { return false; }
  void ShowResults(const std::string&) override {}
  void AppendLines(const std::vector<std::string>&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fputs("usage: snapshot_worksheet OUTPUT.png [DATA-FOLDER]\n", stderr);
    return 2;
  }
  ProgramTitle = kProgramTitle;
  DataFileName = kDataFileName;
  QTemporaryDir empty;
  const std::string folder = argc > 2 ? argv[2] : empty.path().toStdString();
  tRecordingDialogs dialogs;
  tNoResults results;
  TfrmTemplate worksheet(dialogs, results, folder, '.');
  worksheet.show();
  QApplication::processEvents();
  if (!worksheet.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  for (const std::string& e : dialogs.events)
    std::fprintf(stderr, "%s\n", e.c_str());
  return 0;
}
