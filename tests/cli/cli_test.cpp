// quorrel-report run in-process: the command line, the report and the JSON
// object it prints, refusals, engine errors and batch files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <tuple>

#include "analysis/data_file.h"
#include "analysis/report.h"
#include "analysis/text_format.h"
#include "cli/batch.h"
#include "cli/batch_progress.h"
#include "cli/fd_output.h"
#include "cli/report_cli.h"
#include "cli/text_encoding.h"
#include "cli_test_support.h"
#include "mini_json.h"
#include "support/temporary_folder.h"

namespace {

struct tRun {
  int status;
  std::string out, err;
};

// quorrel-report in-process, with short analyses: the full-length ones are
// checked end to end through the program itself.
tRun RunCli(const std::vector<std::string>& args, char separator = '.',
            int32_t iterations = kShortRun) {
  std::ostringstream out, err;
  tCliRuntime runtime;
  runtime.iterations = iterations;
  int status = RunQuorrelReport(args, out, err, separator, runtime);
  return {status, out.str(), err.str()};
}

TEST(CommandLine, UsageErrorsExitWith64) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"100", "15", "50", "10", ".6", "20", "70"},
      {"100", "15", "50", "10", ".6", "20", "70", "55", "1"},
      {"--prior", "jeffreys", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--limits", "both", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--test=raw", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--verbose", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"-x", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"100", "15", "50", "10", ".6", "20", "70", "55", "--notes"},
      {"--batch", "cases.csv", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--batch", "cases.csv", "--json"},
      {"--decimal-separator", ";", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--max-seconds", "0", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--max-seconds", "1e3", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--max-seconds=-2", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--max-seconds=", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--threads", "0", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--threads=65", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--threads", "1.5", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--shard", "1/2", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--progress", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--batch", "cases.csv", "--shard", "0/2"},
      {"--batch", "cases.csv", "--shard", "3/2"},
      {"--batch", "cases.csv", "--shard", "2"},
      {"--batch", "cases.csv", "--shard", "1/-2"},
      // A shard counts the rows first, which standard input cannot give twice.
      {"--batch", "-", "--shard", "1/2"},
      {"--json=1", "100", "15", "50", "10", ".6", "20", "70", "55"},
      {"--batch", "a.csv", "--batch", "b.csv"},
      {"--batch", "a.csv", "--encoding", "latin9"},
      {"--batch", "a.csv", "--output-separator", "|"},
      {"--batch", "a.csv", "--batch-decimal-separator", ";"},
      {"--encoding", "cp1252", "100", "15", "50", "10", ".6", "20", "70", "55"},
  };
  for (const auto& args : wrong) {
    tRun run = RunCli(args);
    EXPECT_EQ(run.status, 64) << ::testing::PrintToString(args);
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(run.err.rfind("quorrel-report: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("Usage: quorrel-report"), std::string::npos);
  }
}

TEST(CommandLine, UnstandardizedTestRefusesAnExplicitCalibratedPrior) {
  tRun run = RunCli({"--test", "unstandardized", "--prior", "calibrated", "100", "15", "50", "10",
                     ".6", "20", "70", "55"});
  EXPECT_EQ(run.status, 64);
  EXPECT_NE(run.err.find("the unstandardized test always runs with the standard-theory prior"),
            std::string::npos);

  tCliOptions options;
  std::string problem;
  ASSERT_TRUE(
      ParseCommandLine({"--test", "unstandardized", "--", "1", "2", "3", "4", "5", "6", "7", "8"},
                       options, problem));
  EXPECT_FALSE(options.analysis.PriorOverruled());
  EXPECT_EQ(options.analysis.Prior(), tPrior::StandardTheory);
}

TEST(CommandLine, ChoicesAreTheirNamesExactly) {
  const std::vector<std::string> values = {"1", "2", "3", "4", "5", "6", "7", "8"};
  auto parse = [&](const std::string& option, tCliOptions& options, std::string& problem) {
    std::vector<std::string> args = {option};
    args.insert(args.end(), values.begin(), values.end());
    return ParseCommandLine(args, options, problem);
  };
  const std::vector<std::pair<std::string, tLimits>> limits = {
      {"--limits=two-sided", tLimits::TwoSided},
      {"--limits=lower", tLimits::OneSidedLower},
      {"--limits=upper", tLimits::OneSidedUpper}};
  for (const auto& [option, expected] : limits) {
    tCliOptions options;
    std::string problem;
    ASSERT_TRUE(parse(option, options, problem)) << problem;
    EXPECT_EQ(options.analysis.limits, expected) << option;
  }
  tCliOptions prior, test;
  std::string problem;
  ASSERT_TRUE(parse("--prior=standard", prior, problem));
  EXPECT_EQ(prior.analysis.prior, tPrior::StandardTheory);
  ASSERT_TRUE(parse("--test=unstandardized", test, problem));
  EXPECT_EQ(test.analysis.test, tTestKind::Unstandardized);

  // Any other spelling is refused with the names to choose from.
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"--prior=Standard", "--prior must be calibrated or standard, not \"Standard\""},
      {"--limits=both", "--limits must be two-sided, lower or upper, not \"both\""},
      {"--test=", "--test must be standardized or unstandardized, not \"\""}};
  for (const auto& [option, expected] : refused) {
    tCliOptions wrong;
    EXPECT_FALSE(parse(option, wrong, problem));
    EXPECT_EQ(problem, expected);
  }
}

TEST(CommandLine, OptionsValuesAndNegativeNumbers) {
  tCliOptions options;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine(
      {"--limits=lower", "--prior", "standard", "--notes", "first", "--notes", "second\r\nthird",
       "--json", "--", "-100", "15", "-", "10", "-.3", "20", "--json", "45"},
      options, problem))
      << problem;
  EXPECT_EQ(options.analysis.limits, tLimits::OneSidedLower);
  EXPECT_EQ(options.analysis.prior, tPrior::StandardTheory);
  EXPECT_TRUE(options.json);
  EXPECT_EQ(options.analysis.notes, (std::vector<std::string>{"first", "second", "third"}));
  // After "--" everything is a value, even what looks like an option.
  EXPECT_EQ(options.values,
            (std::vector<std::string>{"-100", "15", "-", "10", "-.3", "20", "--json", "45"}));

  // Negative numbers are values without "--" as well.
  tCliOptions plain;
  ASSERT_TRUE(
      ParseCommandLine({"-1", "15", "-2.5", "10", "-.3", "20", "70", "55"}, plain, problem));
  EXPECT_EQ(plain.values[0], "-1");
  EXPECT_EQ(plain.values[4], "-.3");
  EXPECT_FALSE(plain.analysis.prior.has_value());
}

TEST(CommandLine, HelpExplainsEverything) {
  tRun run = RunCli({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.err.empty());
  for (const char* word : {"--prior calibrated|standard", "--limits two-sided|lower|upper",
                           "--test standardized|unstandardized", "--notes TEXT", "--json",
                           "--batch FILE.csv", "--decimal-separator", "Exit status", "  64 "}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(RunCli({"100", "--help"}).status, 0);
}

TEST(CommandLine, RefusedValueExitsWith2AndPrintsTheMessage) {
  // Field 1 is longer than the worksheet's six characters, yet accepted;
  // field 2 is the first refusal and the only message; field 5 is never read.
  tRun run = RunCli({"100.00001", "0", "50", "10", "", "20", "70", "55"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.out.empty());
  EXPECT_EQ(run.err,
            "quorrel-report: INPUT ERROR\n"
            "(  Standard deviation for the normative sample on Task X:  0.000  )\n"
            "Standard deviations must have a positive value.\n");

  // A blank before the minus sign is refused, as in the worksheet.
  run = RunCli({"100", "15", " -5", "10", ".6", "20", "70", "55"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "quorrel-report: INPUT ERROR\n"
            "(  Mean of the control or normative sample on Task Y:   -5  )\n\n"
            "Enter numeric data only.\n");
}

TEST(CommandLine, DecimalCommasReadAsPoints) {
  // A comma is what the worksheet's key filter turns into a point, in every locale.
  const std::string report = RunCli({"100", "15", "50", "10", ".6", "20", "70", "55"}).out;
  for (char separator : {'.', ','}) {
    tRun run = RunCli({"100,0", "15", "50", "10", "0,6", "20,", "70", "55"}, separator);
    ASSERT_EQ(run.status, 0) << run.err;
    if (separator == '.') {
      EXPECT_EQ(run.out, report);
    }
  }
  tRun comma_report =
      RunCli({"--decimal-separator", ",", "100", "15", "50", "10", "0,6", "20", "70", "55"});
  EXPECT_NE(comma_report.out.find("normative sample =     0,60"), std::string::npos);

  // A second comma is a second point.
  tRun run = RunCli({"100", "15", "50", "10", "0,6,1", "20", "70", "55"}, ',');
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "quorrel-report: INPUT ERROR\n"
            "(  Correlation between Tests X and Y in normative sample:  0.6.1  )\n\n"
            "Enter numeric data only.\n");
  run = RunCli({"--", "100", "15", "50", "10", ".6", "2,5", "70", "55"}, ',');
  EXPECT_EQ(run.err,
            "quorrel-report: INPUT ERROR\n(  Sample size of the normative sample:  2,500  )\n"
            "The value for sample size must be an integer greater than 2.\n");

  tCliOptions options;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine({"--max-seconds", "0,5", "--batch", "x.csv"}, options, problem));
  EXPECT_EQ(options.max_seconds, 0.5);
}

TEST(CommandLine, EngineErrorExitsWith1) {
  // The calibrated prior needs a sample of at least 4.
  tRun run = RunCli({"100", "15", "50", "10", ".6", "3", "70", "55"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.empty());
  // The windows' account of what happened, a line break where the error
  // box has one, and the remedy in the command line's own words.
  EXPECT_EQ(run.err,
            "quorrel-report: The calibrated prior needs a control sample of at least 4.\n"
            "For a smaller sample, give --prior standard.\n");
}

TEST(Report, IsTheFirstReportOfTheDriver) {
  const tAnalysis& example = ShortExampleAnalysis();
  tRun run = RunCli({"100", "15", "50", "10", ".6", "20", "70", "55"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty());
  EXPECT_EQ(run.out, JoinLines(BuildReport(false, ProgramTitle, example, '.')));
}

TEST(Report, JsonHoldsFullPrecisionNumbersAndTheReport) {
  const tAnalysis& example = ShortExampleAnalysis();
  tRun run = RunCli({"--json", "--notes", "say \"hi\"\tnow", "--decimal-separator", ",", "100",
                     "15", "50", "10", ".6", "20", "70", "55"});
  ASSERT_EQ(run.status, 0) << run.err;
  tJson json = tJsonReader(run.out).ReadDocument();
  CheckExampleJson(json, example);
  EXPECT_EQ(json["options"]["notes"].items.at(0).text, "say \"hi\"\tnow");
  // The report in the object uses the chosen separator.
  tAnalysis with_notes = example;
  with_notes.request.options.notes = {"say \"hi\"\tnow"};
  std::vector<std::string> report = BuildReport(false, ProgramTitle, with_notes, ',');
  ASSERT_EQ(json["report"].items.size(), report.size());
  for (std::size_t i = 0; i < report.size(); ++i) {
    EXPECT_EQ(json["report"].items[i].text, report[i]) << i;
  }
}

TEST(Csv, TextCellsThatASpreadsheetWouldRunAreWrittenAsText) {
  const std::vector<std::pair<std::string, std::string>> cells = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"a;b", "\"a;b\""},
      {"say \"x\"", "\"say \"\"x\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"=1+2", "\"'=1+2\""},
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"+SUM(1+1)", "\"'+SUM(1+1)\""},
      {"-2+3", "\"'-2+3\""},
      {"@cmd", "\"'@cmd\""},
      {"\tx", "\"'\tx\""},
      {"\rx", "\"'\rx\""},
      {"a=1", "a=1"},
      {" =1", " =1"},
  };
  for (const auto& [text, written] : cells) {
    EXPECT_EQ(CsvField(text), written) << text;
  }
}

TEST(Batch, EveryRowGetsItsOwnResultRow) {
  const tAnalysis& example = ShortExampleAnalysis();
  std::string csv =
      "ID,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y,prior,clinic\n"
      "\"Smith, J\",100,15,50,10,.6,20,70,55,,north\n"
      "bad-sd,100,0,50,10,.6,20,70,55,,north\n"
      "small,100,15,50,10,.6,3,70,55,calibrated,north\n"
      "odd-prior,100,15,50,10,.6,20,70,55,flat,north\n"
      "short,100,15\n";
  std::ostringstream out, err;
  tCliOptions options;
  int status = RunBatch(csv, options, '.', out, err, ShortRuntime());
  EXPECT_EQ(status, 1);  // an engine error outranks the refusals
  EXPECT_EQ(err.str(), "quorrel-report: 5 rows: 1 done, 3 refused, 1 failed\n");
  std::vector<std::vector<std::string>> rows = CsvRows(out.str());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')),
            "id,prior,limits,test,z_x,z_y,one_tailed_p,two_tailed_p,pct_estimate,pct_lower,"
            "pct_upper,zdcc,zdcc_lower,zdcc_upper,error,program_version,draws");

  const tEngine_results& r = example.results;
  EXPECT_EQ(rows[1], (std::vector<std::string>{
                         "Smith, J", "calibrated", "two-sided", "standardized",
                         FormatFullPrecision(example.z_x), FormatFullPrecision(example.z_y),
                         FormatFullPrecision(r.one_tailed_p), FormatFullPrecision(r.two_tailed_p),
                         FormatFullPrecision(r.pct_estimate), FormatFullPrecision(r.pct_lower),
                         FormatFullPrecision(r.pct_upper), FormatFullPrecision(r.zdcc),
                         FormatFullPrecision(r.zdcc_lower), FormatFullPrecision(r.zdcc_upper), "",
                         QUORREL_PROJECT_VERSION, std::to_string(kShortRun)}));
  EXPECT_EQ(rows[2][0], "bad-sd");
  EXPECT_EQ(rows[2][4], "");
  EXPECT_EQ(rows[2][14],
            "INPUT ERROR (  Standard deviation for the normative sample on Task X:  0.000  ) "
            "Standard deviations must have a positive value.");
  EXPECT_EQ(rows[3][0], "small");
  EXPECT_EQ(rows[3][4], "");
  // The row's own prior cell outranks --prior: the remedy names the cell.
  EXPECT_EQ(rows[3][14],
            "The calibrated prior needs a control sample of at least 4. For a smaller sample, "
            "put standard in the row's prior column.");
  EXPECT_EQ(rows[4][1], "flat");
  EXPECT_EQ(rows[4][14], "prior must be calibrated or standard, not \"flat\"");
  EXPECT_EQ(rows[5][14], "line 6: the row has 3 cells, the header 11");
}

TEST(Batch, OptionsPerRowAndFileProblems) {
  std::ostringstream out, err;
  tCliOptions options;
  options.analysis.prior = tPrior::Calibrated;
  // An explicit calibrated prior meets an unstandardized row; a misspelt test.
  int status = RunBatch(
      "mean_x;sd_x;mean_y;sd_y;r;n;case_x;case_y;test;limits\n"
      "100;15;50;10;.6;20;70;45;unstandardized;\n"
      "100;15;50;10;.6;20;70;45;raw;upper\n",
      options, '.', out, err);
  EXPECT_EQ(status, 2);
  std::vector<std::vector<std::string>> rows = CsvRows(out.str());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1][0], "1");
  EXPECT_EQ(rows[1][3], "unstandardized");
  EXPECT_NE(rows[1][14].find("standard-theory prior"), std::string::npos);
  EXPECT_EQ(rows[2][0], "2");
  EXPECT_EQ(rows[2][2], "upper");
  EXPECT_EQ(rows[2][3], "raw");

  std::ostringstream out2, err2;
  EXPECT_EQ(
      RunBatch("mean_x,sd_x,mean_y,r,n,case_x\n1,2,3,4,5,6\n", tCliOptions{}, '.', out2, err2), 2);
  EXPECT_TRUE(out2.str().empty());
  EXPECT_NE(err2.str().find("sd_y, case_y"), std::string::npos) << err2.str();

  std::ostringstream out3, err3;
  EXPECT_EQ(RunBatch("", tCliOptions{}, '.', out3, err3), 2);
  EXPECT_EQ(RunCli({"--batch", "/nonexistent/cases.csv"}).status, 1);
  // A folder is no batch file, not an empty one.
  tRun folder = RunCli({"--batch", "/tmp"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err, "quorrel-report: cannot read /tmp: Is a directory\n");
}

TEST(CommandLine, OutputThatCannotBeWrittenIsAFailure) {
  // A stream without a buffer fails every write, as a full disk does.
  std::ostream broken(nullptr);
  std::ostringstream err;
  EXPECT_EQ(RunQuorrelReport({"--help"}, broken, err, '.'), 1);
  EXPECT_EQ(err.str(), "quorrel-report: cannot write the output\n");
  // The program's own standard output knows why.
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  {
    tFdOutputBuffer buffer(full);
    std::ostream full_output(&buffer);
    std::ostringstream full_err;
    EXPECT_EQ(RunQuorrelReport({"--help"}, full_output, full_err, '.'), 1);
    EXPECT_EQ(full_err.str(), "quorrel-report: cannot write the output: No space left on device\n");
  }
  ::close(full);

  // A batch stops at the first row it cannot write.
  std::ostream broken_batch(nullptr);
  std::ostringstream batch_err;
  EXPECT_EQ(RunBatch("mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y\n"
                     "1,0,1,1,0,5,1,1\n1,1,1,1,0,5,1,1\n",
                     tCliOptions{}, '.', broken_batch, batch_err),
            1);
}

struct tBatchRun {
  int status;
  std::vector<std::vector<std::string>> rows;
  std::string out, err;
};

tBatchRun Batch(const std::string& csv, const tCliOptions& options = {}, tCliRuntime runtime = {},
                char separator = '.') {
  runtime.iterations = kShortRun;
  std::ostringstream out, err;
  int status = RunBatch(csv, options, separator, out, err, runtime);
  return {status, CsvRows(out.str()), out.str(), err.str()};
}

const char* const kHeader = "id,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y\n";
const char* const kQuickRow = "100,15,50,10,.6,20,70,55\n";
// The calibrated prior with a correlation this close to 1 accepts few drawn
// matrices: a few hundred draws a second.
const char* const kSlowRow = "100,15,50,10,.9999999,20,70,55\n";

TEST(Batch, MalformedRowsAreReportedAndHideNothing) {
  tBatchRun run = Batch(std::string(kHeader) + "p1," + kQuickRow + "a\"b," + kQuickRow + "\"open," +
                        kQuickRow + "p4," + kQuickRow + "\"a\"x," + kQuickRow + "p6,100,15\n" +
                        "p7," + kQuickRow + "p8,100,1\"5,50,10,.6,20,70,55\n");
  EXPECT_EQ(run.status, 2);
  ASSERT_EQ(run.rows.size(), 9u) << run.out;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"p1", ""},
      {"", "line 3: a quote inside the unquoted cell 1"},
      // Its quote closes at the quote that opens line 6.
      {"", "line 4: text follows the closing quote of cell 1"},
      {"p4", ""},
      {"", "line 6: text follows the closing quote of cell 1"},
      // A row that cannot be read keeps the id read before its fault.
      {"p6", "line 7: the row has 3 cells, the header 9"},
      {"p7", ""},
      {"p8", "line 9: a quote inside the unquoted cell 3"},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::vector<std::string>& row = run.rows[i + 1];
    ASSERT_EQ(row.size(), 17u);
    EXPECT_EQ(row[0], expected[i].first);
    EXPECT_EQ(row[14].rfind(expected[i].second, 0), 0u) << row[14];
    EXPECT_EQ(row[4].empty(), !expected[i].second.empty()) << i;  // numbers only when it ran
    // Every row names the program's version; the draws only a row that ran.
    EXPECT_EQ(row[15], QUORREL_PROJECT_VERSION);
    EXPECT_EQ(row[16], expected[i].second.empty() ? std::to_string(kShortRun) : "") << i;
  }

  // A row of 40 MiB of commas is refused as too long; the row after it runs.
  run = Batch(std::string(kHeader) + "big" + std::string(40 << 20, ',') + "\nafter," + kQuickRow);
  ASSERT_EQ(run.rows.size(), 3u);
  EXPECT_EQ(run.rows[1][14], "line 2: the row is longer than 65536 bytes");
  EXPECT_EQ(run.rows[2][0], "after");
  EXPECT_EQ(run.rows[2][14], "");

  // A header that cannot be read ends the batch before any row.
  run = Batch("id,\"mean_x\nx,y\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "quorrel-report: the batch file's first row (line 1) cannot be read: the quote that "
            "opens cell 2 is never closed\n");
}

// N shards of a batch joined (the first one whole, the header line of each
// other left off) are byte for byte the whole batch's output: every row once,
// in order, with its own row number and line number.
TEST(Batch, ShardsJoinedAreTheWholeBatch) {
  const tTemporaryFolder folder("quorrel-shard-");
  const std::string path = folder.PathOf("batch.csv");
  // No id column (the ids are the row numbers), a blank line and a bad row.
  std::ofstream(path) << "mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y\n"
                      << kQuickRow << "\n"
                      << kQuickRow << "100,15\n"
                      << kQuickRow << "100,15,50,10,.6,20,70,abc\n"
                      << kQuickRow << kQuickRow;
  const tRun whole = RunCli({"--batch", path, "--prior", "standard"});
  ASSERT_EQ(whole.status, 2) << whole.err;
  for (const unsigned shards : {3u, 10u}) {
    std::string joined;
    std::vector<std::string> second_ids;
    for (unsigned k = 1; k <= shards; ++k) {
      const tRun part = RunCli({"--batch", path, "--prior", "standard", "--shard",
                                std::to_string(k) + "/" + std::to_string(shards)});
      // Standard error holds the part's summary line alone.
      EXPECT_EQ(part.err.rfind("quorrel-report: ", 0), 0u) << part.err;
      EXPECT_EQ(std::count(part.err.begin(), part.err.end(), '\n'), 1) << part.err;
      joined += k == 1 ? part.out : part.out.substr(part.out.find('\n') + 1);
      if (k == 2)
        for (std::size_t i = 1; i < CsvRows(part.out).size(); ++i)
          second_ids.push_back(CsvRows(part.out)[i][0]);
    }
    EXPECT_EQ(joined, whole.out) << shards << " shards";
    // Of 7 rows, shard 2 of 3 takes rows 3 and 4: consecutive blocks.
    if (shards == 3) {
      EXPECT_EQ(second_ids, (std::vector<std::string>{"3", "4"}));
    }
  }
}

// The batch's progress, asked for off a terminal: a line per row, with the
// shard's own count, and the time left from the rows done so far.
TEST(Batch, ProgressNamesTheRowOfTheShardAndTheTimeLeft) {
  const tTemporaryFolder folder("quorrel-progress-");
  const std::string path = folder.PathOf("batch.csv");
  std::ofstream(path) << kHeader << "a," << kQuickRow << "b," << kQuickRow << "c," << kQuickRow
                      << "d," << kQuickRow;
  const tRun run = RunCli({"--batch", path, "--progress", "--shard", "2/2"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err.substr(0, run.err.find(", about")),
            "quorrel-report: row 1 of 2 (line 4)\nquorrel-report: row 2 of 2 (line 5)");
  EXPECT_EQ(run.err.back(), '\n');

  double now = 0;
  std::ostringstream err;
  tBatchProgress progress(err, tProgressMode::Terminal, 5, [&] { return now; });
  EXPECT_EQ(progress.Begin(1, 2), "row 1 of 5 (line 2)");
  now = 30;  // 30 s a row: 4 rows left
  EXPECT_EQ(progress.Begin(2, 3), "row 2 of 5 (line 3), about 2 min left");
  progress.Finish();
  // Rewritten in place and erased at the end.
  EXPECT_EQ(err.str(),
            "\rquorrel-report: row 1 of 5 (line 2)\rquorrel-report: row 2 of 5 (line "
            "3), about 2 min left\r" +
                std::string(53, ' ') + "\r");
  for (const auto& [seconds, text] :
       std::vector<std::pair<double, std::string>>{{0.2, "about 1 s left"},
                                                   {59.4, "about 59 s left"},
                                                   {59.6, "about 1 min left"},
                                                   {5369, "about 89 min left"},
                                                   {5400, "about 2 h left"}})
    EXPECT_EQ(TimeLeftText(seconds), text) << seconds;
}

TEST(Batch, FormulaLikeTextReachesASpreadsheetAsText) {
  tBatchRun run = Batch(
      "id,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y,prior\n"
      "\"=HYPERLINK(\"\"http://x\"\")\",100,15,50,10,.6,20,70,55,\n"
      "+SUM(1+1),100,15,50,10,.6,20,70,55,@cmd\n"
      "-5,100,15,50,10,.6,20,70,55,=1+2\n");
  std::istringstream lines(run.out);
  std::string header, first, second, third;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  std::getline(lines, third);
  EXPECT_EQ(first.substr(0, first.find(",calibrated,")), "\"'=HYPERLINK(\"\"http://x\"\")\"");
  // The first number of the row is negative and stays a plain number.
  EXPECT_EQ(first.find(",-2.0"), first.find(",standardized,") + 13) << first;
  EXPECT_EQ(second.substr(0, 20), "\"'+SUM(1+1)\",\"'@cmd\"");
  EXPECT_EQ(third.substr(0, 14), "\"'-5\",\"'=1+2\",");
}

TEST(Batch, EveryCellIsReadByOneRule) {
  // Unquoted cells lose their blanks; quoted ones are read as they stand,
  // so a blank before a minus sign is refused as in the worksheet.
  tBatchRun run =
      Batch(std::string(kHeader) + "a,  -100 ,15,50,10,.6,20,70,55\n" +
            "b,\" -100\",15,50,10,.6,20,70,55\n" + "c,\"-100\" ,15,50,10,.6,20,70,55\n" +
            "d,-100,15,50,10,.6,20,70,55\n" + "e,-100,15,50,10,\"0,6\",20,70,55\n");
  ASSERT_EQ(run.rows.size(), 6u);
  EXPECT_EQ(run.rows[1][4], run.rows[4][4]);
  EXPECT_EQ(run.rows[1][14], "");
  EXPECT_EQ(run.rows[2][14],
            "INPUT ERROR (  Mean of the control or normative sample on Task X:   -100  ) "
            "Enter numeric data only.");
  EXPECT_EQ(run.rows[3][14], "");
  // A decimal comma in a comma-separated file is refused (it may separate
  // thousands); a semicolon file's decimal comma is a point.
  EXPECT_EQ(run.rows[5][14].rfind("the r cell of line 6 (\"0,6\") holds a comma", 0), 0u)
      << run.rows[5][14];
  tBatchRun semicolons = Batch(
      "id;mean_x;sd_x;mean_y;sd_y;r;n;case_x;case_y\n"
      "d; -100,0 ;15;50;10;0,6;20;70;55\n");
  ASSERT_EQ(semicolons.rows.size(), 2u);
  // Its results come back with decimal commas, as the file wrote its numbers.
  std::vector<std::string> with_points = semicolons.rows[1];
  for (std::string& cell : with_points)
    std::replace(cell.begin(), cell.end(), ',', '.');
  EXPECT_EQ(with_points, run.rows[4]);

  // Option cells follow the same rule: a quoted blank is no empty cell.
  run = Batch(
      "mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y,limits\n100,15,50,10,.6,20,70,55, UPPER \n"
      "100,15,50,10,.6,20,70,55,\" \"\n");
  EXPECT_EQ(run.rows[1][2], "upper");
  EXPECT_EQ(run.rows[1][14], "");
  EXPECT_EQ(run.rows[2][14], "limits must be two-sided, lower or upper, not \" \"");
  EXPECT_EQ(run.rows[2][1], "calibrated");  // the refused cell leaves the prior shown
}

// Each file reads its own decimal separator: a semicolon file the comma, a
// comma file the point, a tab file the one its first r cell shows, or the
// one the option gives.  A cell with the other mark, which may separate
// thousands, is refused with its column, line and what to do: never read
// as another number.
TEST(Batch, EachFileReadsItsDecimalSeparatorAndRefusesTheOther) {
  const std::string expected_z_x =
      Batch(std::string(kHeader) + "a,1234.5,15,50,10,.6,20,70,55\n").rows[1][4];
  auto file = [](char d, const std::string& mean_x, const std::string& r) {
    std::string text;
    for (const char* name : {"id", "mean_x", "sd_x", "mean_y", "sd_y", "r", "n", "case_x"})
      text += std::string(name) + d;
    text += "case_y\na";
    for (const std::string& cell : {mean_x, std::string("15"), std::string("50"), std::string("10"),
                                    r, std::string("20"), std::string("70")})
      text += d + cell;
    return text + d + "55\n";
  };
  struct tCase {
    std::string csv;
    std::optional<char> given;
    std::string error;  // the start of the row's refusal; empty: read as 1234.5
  };
  const std::vector<tCase> cases = {
      {file(',', "1234.5", ".6"), {}, ""},
      {file(';', "1234,5", "0,6"), {}, ""},
      {file(';', "1.234", "0,6"),
       {},
       "the mean_x cell of line 2 (\"1.234\") holds a point, but "
       "the numbers of this semicolon-separated file take a "
       "decimal comma"},
      {file(';', "1234.5", ".6"), '.', ""},
      {file('\t', "1234,5", "0,6"), {}, ""},
      {file('\t', "1234.5", ".6"), {}, ""},
      {file('\t', "1.234,5", "0,6"), {}, "the mean_x cell of line 2 (\"1.234,5\") holds a point"},
      {file('\t', "1234,5", "0"),
       {},
       "the mean_x cell of line 2 (\"1234,5\") has a decimal "
       "comma, but this tab-separated file"},
      {file('\t', "1234,5", "0"), ',', ""},
  };
  // A comma file's quoted "1,234" is the case that silently became 1.234.
  tBatchRun thousands = Batch(std::string(kHeader) + "a,\"1,234\",15,50,10,.6,20,70,55\n");
  EXPECT_EQ(thousands.rows[1][14],
            "the mean_x cell of line 2 (\"1,234\") holds a comma, but the numbers of this "
            "comma-separated file take a decimal point, so it may separate thousands; write the "
            "number without thousands separators, with a decimal point, or give "
            "--batch-decimal-separator , if the file's commas are decimal commas");
  for (const tCase& c : cases) {
    tCliOptions options;
    options.batch_decimal_separator = c.given;
    tBatchRun run = Batch(c.csv, options);
    ASSERT_EQ(run.rows.size(), 2u) << c.csv;
    EXPECT_EQ(run.rows[1][14].rfind(c.error, 0), 0u) << c.csv << run.rows[1][14];
    if (c.error.empty()) {
      std::string z_x = run.rows[1][4];
      std::replace(z_x.begin(), z_x.end(), ',', '.');
      EXPECT_EQ(z_x, expected_z_x) << c.csv;
    }
  }
}

// UTF-16 as spreadsheets save "Unicode text" (tab-separated, with its byte
// order mark), Windows-1252 when named, and bytes that are not UTF-8: the
// rows run, and what is written is UTF-8.
TEST(Batch, EncodingsAreReadAndTheOutputIsUtf8) {
  auto utf16 = [](const std::string& ascii_before, bool little_endian) {
    // "M", U+00FC, "ller" and then ASCII, as UTF-16 with its mark.
    std::string text = little_endian ? "\xFF\xFE" : "\xFE\xFF";
    auto unit = [&](unsigned code) {
      const char low = static_cast<char>(code & 0xFF), high = static_cast<char>(code >> 8);
      text += little_endian ? std::string{low, high} : std::string{high, low};
    };
    for (char c : ascii_before)
      unit(static_cast<unsigned char>(c));
    for (unsigned code : {0x4Du, 0xFCu, 0x6Cu, 0x6Cu, 0x65u, 0x72u})
      unit(code);
    for (char c : std::string("\t100\t15\t50\t10\t0.6\t20\t70\t55\r\n"))
      unit(static_cast<unsigned char>(c));
    return text;
  };
  const std::string tab_header = "id\tmean_x\tsd_x\tmean_y\tsd_y\tr\tn\tcase_x\tcase_y\r\n";
  struct tCase {
    std::string csv;
    tEncoding encoding;
    std::string id;    // as written
    std::string note;  // the start of what standard error says, after the count
  };
  const std::vector<tCase> cases = {
      {utf16(tab_header, true), tEncoding::Utf8, "M\xC3\xBCller", ""},
      {utf16(tab_header, false), tEncoding::Cp1252, "M\xC3\xBCller", ""},
      {std::string(kHeader) + "M\xFCller," + kQuickRow, tEncoding::Cp1252, "M\xC3\xBCller", ""},
      {std::string(kHeader) + "M\xFCller," + kQuickRow, tEncoding::Utf8, "M\xEF\xBF\xBDller",
       "quorrel-report: line 2 of the batch file is not valid UTF-8"},
  };
  for (const tCase& c : cases) {
    tCliOptions options;
    options.encoding = c.encoding;
    tBatchRun run = Batch(c.csv, options);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.rows.size(), 2u) << run.out;
    EXPECT_EQ(run.rows[1][0], c.id);
    EXPECT_NE(run.rows[1][4], "");
    EXPECT_TRUE(IsValidUtf8(run.out));
    EXPECT_EQ(run.err.rfind(c.note, 0), 0u) << run.err;
  }
  // UTF-16 without its mark is refused with what to do.
  tBatchRun unmarked = Batch(utf16(tab_header, true).substr(2));
  EXPECT_EQ(unmarked.status, 1);
  EXPECT_NE(unmarked.err.find("UTF-16 without a byte order mark; save it as"), std::string::npos)
      << unmarked.err;

  // The output in another form on request: semicolons with decimal commas.
  tCliOptions semicolons;
  semicolons.output_separator = ';';
  tBatchRun german = Batch(std::string(kHeader) + "a," + kQuickRow, semicolons);
  const std::string row = german.out.substr(german.out.find('\n') + 1);
  EXPECT_EQ(row.rfind("a;calibrated;two-sided;standardized;-2,", 0), 0u) << row;
}

// A batch from a pipe answers each row as it comes: the third piece of the
// input is asked for only after the row of the second was written.
TEST(Batch, ARowFromAPipeIsAnsweredBeforeTheNextArrives) {
  class tPieces : public tByteSource {
   public:
    tPieces(std::vector<std::string> pieces, const std::ostringstream& out)
        : pieces_(std::move(pieces)), out_(out) {}
    std::size_t Read(char* buffer, std::size_t size) override {
      if (next_ == 2) rows_written_before_third = Lines(out_.str());
      if (next_ == pieces_.size()) return 0;
      const std::string& piece = pieces_[next_++];
      EXPECT_LE(piece.size(), size);
      std::copy(piece.begin(), piece.end(), buffer);
      return piece.size();
    }
    static std::size_t Lines(const std::string& text) {
      return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }
    std::size_t rows_written_before_third = 0;

   private:
    std::vector<std::string> pieces_;
    const std::ostringstream& out_;
    std::size_t next_ = 0;
  };
  std::ostringstream out, err;
  tPieces pipe({kHeader, std::string("a,") + kQuickRow, std::string("b,") + kQuickRow}, out);
  EXPECT_EQ(RunBatch(pipe, tCliOptions{}, '.', out, err, ShortRuntime()), 0) << err.str();
  EXPECT_EQ(pipe.rows_written_before_third, 2u);  // the header and row a
}

TEST(Batch, TimeLimitEndsOnlyTheSlowRow) {
  tCliOptions options;
  options.max_seconds = 0.3;
  // The limit is echoed with the user's decimal separator.
  tBatchRun run = Batch(
      std::string(kHeader) + "quick1," + kQuickRow + "slow," + kSlowRow + "quick2," + kQuickRow,
      options, {}, ',');
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.rows.size(), 4u);
  EXPECT_EQ(run.rows[1][14], "");
  EXPECT_EQ(run.rows[2][4], "");
  EXPECT_EQ(
      run.rows[2][14].rfind("the analysis was stopped when it passed --max-seconds 0,3, after ", 0),
      0u)
      << run.rows[2][14];
  EXPECT_EQ(run.rows[3][14], "");
  // The quick rows' numbers are those of an unwatched run.
  EXPECT_EQ(run.rows[1], Batch(std::string(kHeader) + "quick1," + kQuickRow).rows[1]);
}

TEST(Batch, CtrlCEndsTheBatchAfterTheFinishedRows) {
  std::atomic<bool> interrupted{false};
  std::atomic<int> stop_signal{0};
  tCliRuntime runtime;
  runtime.interrupted = &interrupted;
  runtime.stop_signal = &stop_signal;
  // Ctrl-C, and SIGTERM as a scheduler sends it: the finished rows, then
  // what ended the batch and the count of rows.
  // The key is pressed once the slow row has been read, so after quick1 was
  // written however slow the build or the machine: a batch reads a row
  // only when the one before it is answered.
  class tSlowRowSignals : public tByteSource {
   public:
    std::size_t Read(char* buffer, std::size_t size) override {
      if (next_ == pieces_.size()) return 0;
      if (next_ == 2) slow_row_read.store(true);
      const std::string& piece = pieces_[next_++];
      EXPECT_LE(piece.size(), size);
      std::copy(piece.begin(), piece.end(), buffer);
      return piece.size();
    }
    std::atomic<bool> slow_row_read{false};

   private:
    std::vector<std::string> pieces_ = {kHeader, std::string("quick1,") + kQuickRow,
                                        std::string("slow,") + kSlowRow,
                                        std::string("quick2,") + kQuickRow};
    std::size_t next_ = 0;
  };
  tCliRuntime short_runs = runtime;
  short_runs.iterations = kShortRun;
  for (const auto& [signal_number, status, word] :
       {std::tuple<int, int, std::string>{SIGINT, 130, "interrupted"},
        std::tuple<int, int, std::string>{SIGTERM, 143, "terminated"}}) {
    interrupted.store(false);
    tSlowRowSignals source;
    std::thread presser([&, signal_number = signal_number] {
      for (int waited = 0; !source.slow_row_read.load() && waited < 60000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      stop_signal.store(signal_number);
      interrupted.store(true);
    });
    std::ostringstream out, err;
    const int batch_status = RunBatch(source, tCliOptions{}, '.', out, err, short_runs);
    presser.join();
    EXPECT_EQ(batch_status, status);
    const std::vector<std::vector<std::string>> rows = CsvRows(out.str());
    ASSERT_EQ(rows.size(), 2u) << out.str();
    EXPECT_EQ(rows[1][0], "quick1");
    EXPECT_EQ(err.str(), "quorrel-report: " + word +
                             "; the rows finished before it have been written\n"
                             "quorrel-report: 1 row: 1 done, 0 refused, 0 failed\n");
  }
  stop_signal.store(SIGINT);

  // A single analysis as well.
  std::ostringstream out, err;
  interrupted.store(true);
  EXPECT_EQ(
      RunQuorrelReport({"100", "15", "50", "10", ".6", "20", "70", "55"}, out, err, '.', runtime),
      130);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "quorrel-report: interrupted\n");
}

TEST(Report, ProgressLineAfterASecondIsErasedAtTheEnd) {
  // A run far longer than the time limit however fast the machine: the
  // calibrated prior with r this close to 1 makes a few thousand draws a second.
  tCliRuntime runtime;
  runtime.progress = true;
  std::ostringstream out, err;
  int status = RunQuorrelReport(
      {"--max-seconds", "1.3", "100", "15", "50", "10", ".9999999", "20", "70", "55"}, out, err,
      '.', runtime);
  EXPECT_EQ(status, 1);
  const std::string text = err.str();
  EXPECT_EQ(text.rfind("\rquorrel-report: ", 0), 0u) << text;
  EXPECT_NE(text.find(" of 1000000 draws ("), std::string::npos);
  // The last progress line is overwritten by blanks before the message.
  std::size_t message = text.find("\rquorrel-report: the analysis was stopped");
  ASSERT_NE(message, std::string::npos) << text;
  std::size_t blanks_from = text.rfind('\r', message - 1);
  EXPECT_EQ(text.find_first_not_of(' ', blanks_from + 1), message);
}

TEST(Report, NotesLineBreaksAndJsonUtf8) {
  tRun run = RunCli({"--notes", "CR\rinside", "--notes", "LF\nand CR LF\r\nend", "100", "15", "50",
                     "10", ".6", "20", "70", "55"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  const std::string pad(15, ' ');
  EXPECT_NE(run.out.find(" User's Notes: CR\n" + pad + "inside\n" + pad + "LF\n" + pad +
                         "and CR LF\n" + pad + "end\n \n"),
            std::string::npos);

  // Bytes that are not UTF-8 become U+FFFD; well-formed characters stay.
  const std::vector<std::pair<std::string, std::string>> notes = {
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"a\xFFz", "a\xEF\xBF\xBDz"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // overlong "/"
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // a surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
      {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // cut short
      {"\xF8\x88\x80\x80\x80x",                                                  // a five-byte form
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDx"},
  };
  for (const auto& [note, expected] : notes) {
    tRun json =
        RunCli({"--json", "--notes", note, "100", "15", "50", "10", ".6", "20", "70", "55"});
    ASSERT_EQ(json.status, 0);
    tJson object = tJsonReader(json.out).ReadDocument();
    std::string read = object["options"]["notes"].items.at(0).text;
    EXPECT_EQ(read, expected);
    EXPECT_EQ(object["report"].items.at(17).text.substr(15), read);
  }
}

}  // namespace
