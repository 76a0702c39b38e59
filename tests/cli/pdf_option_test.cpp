// quorrel-report --pdf run in-process, where the command line's library has
// no PDF writer of its own: the option's place among the others, and the
// writer it calls.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/pdf_output.h"
#include "cli/report_cli.h"
#include "cli_test_support.h"
#include "numeric/errors.h"

namespace {

const std::vector<std::string> kExample = {"100", "15", "50", "10", ".6", "20", "70", "55"};

std::vector<std::string> With(std::vector<std::string> options) {
  options.insert(options.end(), kExample.begin(), kExample.end());
  return options;
}

// Records what it is asked to write, or fails as a full disk would.
class tRecordingPdfOutput : public tPdfOutput {
 public:
  std::vector<std::pair<std::string, std::vector<tPdfReportEntry>>> written;
  bool fail = false;
  void Write(const std::string& file, const std::vector<tPdfReportEntry>& reports) override {
    if (fail) throw Exception("The PDF file could not be written: " + file);
    written.emplace_back(file, reports);
  }
};

TEST(PdfOption, ParsedWithItsFileAndRefusedWithBatch) {
  tCliOptions options;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine(With({"--pdf=out.pdf"}), options, problem)) << problem;
  EXPECT_EQ(options.pdf_file, "out.pdf");
  tCliOptions batch;
  EXPECT_FALSE(ParseCommandLine({"--pdf", "out.pdf", "--batch", "cases.csv"}, batch, problem));
  EXPECT_EQ(problem, "--pdf cannot be combined with --batch");
  tCliOptions missing;
  EXPECT_FALSE(ParseCommandLine({"--pdf"}, missing, problem));
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
  std::ostringstream out2, err2;
  EXPECT_EQ(RunQuorrelReport(With({"--pdf", "r.pdf", "--decimal-separator", ","}), out2, err2, '.',
                             ShortRuntime()),
            kExitSuccess)
      << err2.str();
  ASSERT_EQ(writer.written.size(), 1u);
  EXPECT_EQ(writer.written[0].first, "r.pdf");
  ASSERT_EQ(writer.written[0].second.size(), 1u);
  const tPdfReportEntry& entry = writer.written[0].second[0];
  EXPECT_EQ(JoinLines(entry.lines), out2.str());
  EXPECT_EQ(entry.decimal_separator, ',');
  EXPECT_EQ(entry.analysis.results.zdcc, ShortExampleAnalysis().results.zdcc);
  EXPECT_EQ(entry.analysis.draws.counts, ShortExampleAnalysis().draws.counts);

  writer.fail = true;
  std::ostringstream out3, err3;
  EXPECT_EQ(RunQuorrelReport(With({"--pdf", "/full/r.pdf"}), out3, err3, '.', ShortRuntime()),
            kExitEngineError);
  EXPECT_EQ(err3.str(), "quorrel-report: The PDF file could not be written: /full/r.pdf.\n");
  SetPdfOutput(nullptr);
}

}  // namespace
