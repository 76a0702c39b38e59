// quorrel-report --pdf run in-process, where the command line's library has
// no PDF writer of its own: the option's place among the others, and the
// writer it calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

#include "cli/pdf_output.h"
#include "cli/report_cli.h"
#include "cli_test_support.h"
#include "numeric/errors.h"
#include "support/file_size_limit.h"
#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kExample = {"100", "15", "50", "10", ".6", "20", "70", "55"};

std::vector<std::string> With(std::vector<std::string> options) {
  options.insert(options.end(), kExample.begin(), kExample.end());
  return options;
}

// Records what it is asked to render and gives a small stand-in document,
// or fails as a machine out of memory would.
class tRecordingPdfOutput : public tPdfOutput {
 public:
  std::vector<std::vector<tPdfReportEntry>> rendered;
  bool out_of_memory = false;
  std::string Render(const std::vector<tPdfReportEntry>& reports) override {
    if (out_of_memory) throw std::bad_alloc();
    rendered.push_back(reports);
    return std::string("%PDF-1.4\n\0stand-in\n", 19);
  }
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PdfOption, ParsedWithItsFileAndRefusedWithBatch) {
  tCliOptions options;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine(With({"--pdf=out.pdf"}), options, problem)) << problem;
  EXPECT_EQ(options.pdf_file, "out.pdf");
  // Refused: with a batch, with no name, and "-" (standard output) with
  // --json, which needs standard output as well.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--pdf", "out.pdf", "--batch", "cases.csv"},
        std::vector<std::string>{"--pdf"}, With({"--pdf", ""}), With({"--pdf=", "--json"}),
        With({"--pdf", "-", "--json"})}) {
    tCliOptions refused;
    EXPECT_FALSE(ParseCommandLine(args, refused, problem)) << args[1];
  }
}

TEST(PdfOption, HandsTheReportAndAnalysisToTheWriter) {
  std::ostringstream out, err;
  // Without a writer (a build without Qt) the report is still printed, and
  // the missing PDF is an error.
  SetPdfOutput(nullptr);
  EXPECT_EQ(RunQuorrelReport(With({"--pdf", "r.pdf"}), out, err, '.', ShortRuntime()),
            kExitEngineError);
  EXPECT_NE(err.str().find("--pdf is not available"), std::string::npos) << err.str();
  EXPECT_FALSE(out.str().empty());

  tRecordingPdfOutput writer;
  SetPdfOutput(&writer);
  const tTemporaryFolder folder("quorrel-pdf-option-");
  const std::string file = folder.PathOf("r.pdf");
  std::ostringstream out2, err2;
  EXPECT_EQ(RunQuorrelReport(With({"--pdf", file, "--decimal-separator", ","}), out2, err2, '.',
                             ShortRuntime()),
            kExitSuccess)
      << err2.str();
  ASSERT_EQ(writer.rendered.size(), 1u);
  ASSERT_EQ(writer.rendered[0].size(), 1u);
  const tPdfReportEntry& entry = writer.rendered[0][0];
  EXPECT_EQ(JoinLines(entry.lines), out2.str());
  EXPECT_EQ(entry.decimal_separator, ',');
  EXPECT_EQ(entry.analysis.results.zdcc, ShortExampleAnalysis().results.zdcc);
  EXPECT_EQ(entry.analysis.draws.counts, ShortExampleAnalysis().draws.counts);
  EXPECT_EQ(Slurp(file), std::string("%PDF-1.4\n\0stand-in\n", 19));

  // "-": the document alone on standard output, byte for byte.
  std::ostringstream out3, err3;
  EXPECT_EQ(RunQuorrelReport(With({"--pdf", "-"}), out3, err3, '.', ShortRuntime()), kExitSuccess);
  EXPECT_EQ(out3.str(), std::string("%PDF-1.4\n\0stand-in\n", 19));
  SetPdfOutput(nullptr);
}

// A PDF that cannot be written is a failure that says why, and the file
// written before stays whole: a full disk, a folder that does not exist, a
// device that takes nothing, and too little memory to make the document.
TEST(PdfOption, AFailedWriteSaysWhyAndKeepsTheEarlierFile) {
  tRecordingPdfOutput writer;
  SetPdfOutput(&writer);
  const tTemporaryFolder folder("quorrel-pdf-failure-");
  const std::string old_pdf = folder.PathOf("old.pdf");
  std::ofstream(old_pdf) << "the earlier document";
  auto run = [&](const std::string& file, std::string& err_text) {
    std::ostringstream out, err;
    const int status = RunQuorrelReport(With({"--pdf", file}), out, err, '.', ShortRuntime());
    err_text = err.str();
    return status;
  };
  std::string err;
  {
    tFileSizeLimit full_disk(8);
    ASSERT_TRUE(full_disk.Ok());
    EXPECT_EQ(run(old_pdf, err), kExitEngineError);
  }
  EXPECT_EQ(err,
            "quorrel-report: The PDF file could not be written: " + old_pdf + " (Disk full).\n");
  EXPECT_EQ(run("/dev/full", err), kExitEngineError);
  EXPECT_EQ(err, "quorrel-report: The PDF file could not be written: /dev/full (Disk full).\n");
  EXPECT_EQ(run(folder.PathOf("none/r.pdf"), err), kExitEngineError);
  EXPECT_NE(err.find("(File not found)"), std::string::npos) << err;
  writer.out_of_memory = true;
  EXPECT_EQ(run(old_pdf, err), kExitEngineError);
  EXPECT_EQ(err.rfind("quorrel-report: There is not enough memory", 0), 0u) << err;
  EXPECT_EQ(Slurp(old_pdf), "the earlier document");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
  SetPdfOutput(nullptr);
}

}  // namespace
