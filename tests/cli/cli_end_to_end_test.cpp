// quorrel-report as a user runs it: the built executable in a child process,
// its standard output, standard error and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "analysis/version.h"
#include "cli_test_support.h"
#include "example_report_golden.h"
#include "mini_json.h"
#include "support/temporary_folder.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct tProcess {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits until the process `pid` has computed for `ms` milliseconds of
// processor time (its threads together), so that a signal sent next finds it
// at work however loaded the machine or slow the build.  Gives up when the
// process has ended, or after two minutes.
void WaitForProcessorTime(pid_t pid, int ms) {
  const long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // After the command name in parentheses: state, then fields 4 to 13,
    // then the user and system times in clock ticks.
    std::istringstream fields(text.substr(text.rfind(')') + 1));
    std::string state, skipped;
    long long user = 0, system = 0;
    fields >> state;
    for (int i = 4; i <= 13; ++i)
      fields >> skipped;
    fields >> user >> system;
    if (!fields || state == "Z") return;
    if ((user + system) * 1000 >= static_cast<long long>(ms) * ticks_per_second) return;
    ::usleep(10000);
  }
}

// Runs the program with `args` in the "C" locale; `input` becomes its standard
// input.  With `interrupt_after_busy_ms`, the program gets `signal_number`
// (SIGINT as from Ctrl-C) once it has computed that long.
tProcess RunProgram(const std::vector<std::string>& args, const std::string& input = "",
                    int interrupt_after_busy_ms = 0, int signal_number = SIGINT) {
  const tTemporaryFolder temporary("quorrel-cli-");
  EXPECT_FALSE(temporary.Path().empty());
  const std::string& folder = temporary.Path();
  std::ofstream(folder + "/in", std::ios::binary) << input;

  std::vector<std::string> argv_text = {QUORREL_REPORT_BINARY};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = {"LC_ALL=C", "PATH=/usr/bin:/bin"};
  std::vector<char*> envp;
  for (std::string& e : env_text)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, (folder + "/in").c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (folder + "/out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (folder + "/err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  tProcess process;
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(spawned, 0);
  if (spawned == 0 && interrupt_after_busy_ms > 0) {
    WaitForProcessorTime(pid, interrupt_after_busy_ms);
    ::kill(pid, signal_number);
  }
  int wait_status = 0;
  if (spawned == 0 && ::waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status)) {
    process.status = WEXITSTATUS(wait_status);
  }
  process.out = Slurp(folder + "/out");
  process.err = Slurp(folder + "/err");
  return process;
}

const std::string kDataFile = fs::path(QUORREL_REPORT_BINARY).parent_path() / "quorreldata.txt";

TEST(QuorrelReport, PrintsTheReportAndTouchesNoDataFile) {
  fs::remove(kDataFile);
  tProcess run = RunProgram({"100", "15", "50", "10", ".6", "20", "70", "55"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, JoinLines(kExampleFirstReport));
  EXPECT_FALSE(fs::exists(kDataFile));
}

TEST(QuorrelReport, JsonParsesBackToTheSameNumbers) {
  tProcess run = RunProgram({"--json", "--", "100", "15", "50", "10", ".6", "20", "70", "55"});
  ASSERT_EQ(run.status, 0) << run.err;
  tJson json = tJsonReader(run.out).ReadDocument();
  CheckExampleJson(json, ExampleAnalysis());
  EXPECT_EQ(json["report"].items.size(), 52u);
}

TEST(QuorrelReport, RefusalAndUsageStatuses) {
  tProcess refused = RunProgram({"100", "15", "50", "10", "1", "20", "70", "55"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err,
            "quorrel-report: INPUT ERROR\n(  Correlation between Tests X and Y in normative "
            "sample:  1.000  )\n"
            "The correlation must lie between  -1.0 and 1.0. \n");

  tProcess usage = RunProgram({"--limits", "sideways"});
  EXPECT_EQ(usage.status, 64);
  EXPECT_NE(usage.err.find("Usage: quorrel-report"), std::string::npos);

  tProcess help = RunProgram({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--batch FILE.csv"), std::string::npos);
}

TEST(QuorrelReport, VersionIsTheProjectsVersion) {
  tProcess version = RunProgram({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("quorrel-report ") + kQuorrelVersion + "\n");
  EXPECT_EQ(version.err, "");
  EXPECT_STREQ(kQuorrelVersion, QUORREL_PROJECT_VERSION);
  // Whatever else is on the line.
  EXPECT_EQ(RunProgram({"--json", "--version"}).out, version.out);
}

TEST(QuorrelReport, BatchFromStandardInputWithABadRow) {
  tProcess run = RunProgram({"--batch", "-"},
                            "id,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y\n"
                            "p1,100,15,50,10,.6,20,70,55\n"
                            "p2,100,15,50,10,.6,20,70,abc\n");
  EXPECT_EQ(run.status, 2) << run.err;
  std::istringstream lines(run.out);
  std::string header, first, second, extra;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_FALSE(std::getline(lines, extra));
  EXPECT_EQ(header.substr(0, 20), "id,prior,limits,test");
  EXPECT_EQ(first.substr(0, 37), "p1,calibrated,two-sided,standardized,");
  // No error; the version and the draws the numbers come from.
  EXPECT_EQ(first.substr(first.rfind(",,")), ",," QUORREL_PROJECT_VERSION ",1000000");
  EXPECT_EQ(second,
            "p2,calibrated,two-sided,standardized,,,,,,,,,,,INPUT ERROR (  Case's test score on "
            "Task Y:  abc  ) Enter numeric data only.," QUORREL_PROJECT_VERSION ",");
}

TEST(QuorrelReport, EndlessOrInterruptedInputEndsCleanly) {
  tProcess zero = RunProgram({"--batch", "/dev/zero"});
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.out, "");
  EXPECT_EQ(zero.err.rfind("quorrel-report: the batch file holds NUL bytes", 0), 0u) << zero.err;

  // Ctrl-C during a run that would take a very long time: the row finished
  // before it is written, then the message and status 130.
  tProcess batch = RunProgram({"--batch", "-"},
                              "id,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y\n"
                              "bad,100,0,50,10,.6,20,70,55\n"
                              "slow,100,15,50,10,.9999999,20,70,55\n",
                              500);
  EXPECT_EQ(batch.status, 130);
  EXPECT_EQ(std::count(batch.out.begin(), batch.out.end(), '\n'), 2) << batch.out;
  EXPECT_EQ(batch.err,
            "quorrel-report: interrupted; the rows finished before it have been written\n"
            "quorrel-report: 1 row: 0 done, 1 refused, 0 failed\n");

  tProcess single = RunProgram({"100", "15", "50", "10", ".9999999", "20", "70", "55"}, "", 300);
  EXPECT_EQ(single.status, 130);
  EXPECT_EQ(single.err, "quorrel-report: interrupted\n");
  // SIGTERM, as a scheduler ends a job, is caught as well and said.
  tProcess terminated =
      RunProgram({"100", "15", "50", "10", ".9999999", "20", "70", "55"}, "", 300, SIGTERM);
  EXPECT_EQ(terminated.status, 143);
  EXPECT_EQ(terminated.err, "quorrel-report: terminated\n");
}

// Batch files as LibreOffice Calc 7.4 saved one sheet: in English (commas,
// decimal points), in German (semicolons, decimal commas, also as
// Windows-1252) and as "Unicode text" (UTF-16, tabs), its reaction times
// formatted with thousands separators.  The row with "1,234" or "1.234" is
// refused, never read as 1.234 or 1234 by a guess; the other rows run; the
// output is UTF-8 in the input's form.
TEST(QuorrelReport, FilesSavedByLibreOfficeInEnglishAndGerman) {
  struct tCase {
    std::string file;
    std::vector<std::string> options;
    int status;
    std::string refusal;  // the start of the first row's error; empty: it ran
    std::string second_row;
  };
  const std::string refused_comma = "the mean_x cell of line 2 (\"\"1,234\"\") holds a comma";
  const std::vector<tCase> cases = {
      {"libreoffice-english.csv",
       {},
       2,
       refused_comma,
       "p2,calibrated,two-sided,standardized,-1.9"},
      {"libreoffice-german.csv",
       {},
       2,
       "the mean_x cell of line 2 (\"\"1.234\"\") holds a point",
       "p2;calibrated;two-sided;standardized;-1,9"},
      {"libreoffice-unicode-tab.csv",
       {},
       2,
       refused_comma,
       "p2\tcalibrated\ttwo-sided\tstandardized\t-1.9"},
      {"libreoffice-german-cp1252.csv",
       {"--encoding", "cp1252"},
       0,
       "",
       "p2;calibrated;two-sided;standardized;-1,9"},
  };
  for (const tCase& c : cases) {
    std::vector<std::string> args = c.options;
    args.push_back("--batch");
    args.push_back(std::string(QUORREL_CLI_TEST_DATA) + "/" + c.file);
    const tProcess run = RunProgram(args);
    EXPECT_EQ(run.status, c.status) << c.file << run.err;
    std::istringstream lines(run.out);
    std::string header, first, second;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first.rfind("M\xC3\xBCller", 0), 0u) << c.file << first;
    EXPECT_NE(first.find(c.refusal.empty() ? "standardized;-1,2" : c.refusal), std::string::npos)
        << c.file << first;
    EXPECT_EQ(second.rfind(c.second_row, 0), 0u) << c.file << second;
  }
}

// The batch's progress goes to a terminal only: there it names each row
// and is erased at the end; into a file nothing of it goes.
TEST(QuorrelReport, BatchProgressOnATerminalOnly) {
  const tTemporaryFolder folder("quorrel-cli-progress-");
  const fs::path csv = folder.PathOf("progress.csv");
  std::ofstream(csv) << "id,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y\n"
                     << "a,100,0,50,10,.6,20,70,55\nb,100,0,50,10,.6,20,70,55\n";
  // Into a file, only the batch's summary line.
  EXPECT_EQ(RunProgram({"--batch", csv.string()}).err,
            "quorrel-report: 2 rows: 0 done, 2 refused, 0 failed\n");

  // Standard error on a pseudo-terminal, read back once the program has ended.
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(::grantpt(terminal), 0);
  ASSERT_EQ(::unlockpt(terminal), 0);
  std::string program = QUORREL_REPORT_BINARY, batch = "--batch", file = csv.string();
  char* argv[] = {program.data(), batch.data(), file.data(), nullptr};
  std::string locale = "LC_ALL=C";
  char* envp[] = {locale.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, ::ptsname(terminal), O_WRONLY | O_NOCTTY, 0);
  posix_spawn_file_actions_addclose(&actions, terminal);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::fcntl(terminal, F_SETFL, O_NONBLOCK);
  std::string shown;
  char buffer[4096];
  for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;)
    shown.append(buffer, static_cast<std::size_t>(got));
  ::close(terminal);
  EXPECT_NE(shown.find("\rquorrel-report: row 1 of 2 (line 2)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\rquorrel-report: row 2 of 2 (line 3)"), std::string::npos) << shown;
  // The progress line is erased before the summary line is written.
  const std::size_t summary = shown.rfind("quorrel-report: 2 rows: 0 done, 2 refused");
  ASSERT_NE(summary, std::string::npos) << shown;
  ASSERT_GT(summary, 0u);
  EXPECT_EQ(shown[summary - 1], '\r') << shown;
  EXPECT_EQ(shown.find("row 2 of 2", summary), std::string::npos) << shown;
}

// The output of a command, or "<failed>".
std::string CommandOutput(const std::string& command) {
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "<failed>";
  std::string out;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
    out.append(buffer, got);
  return ::pclose(pipe) == 0 ? out : "<failed>";
}

// The lines that hold anything, with their blanks collapsed: the text tools
// space out a monospace line at will.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string word, joined;
    while (words >> word)
      joined += (joined.empty() ? "" : " ") + word;
    if (!joined.empty()) lines.push_back(joined);
  }
  return lines;
}

TEST(QuorrelReport, PdfHoldsTheReportAndItsFigure) {
  if (CommandOutput("command -v pdftotext pdfimages") == "<failed>")
    GTEST_SKIP() << "poppler-utils not installed";
  const tTemporaryFolder folder("quorrel-cli-pdf-");
  const fs::path pdf = folder.PathOf("report.pdf");
  tProcess run = RunProgram({"--pdf", pdf.string(), "--limits", "upper", "100", "15", "50", "10",
                             ".6", "20", "70", "55"});
  ASSERT_EQ(run.status, 0) << run.err;
  // Nothing on standard error, though no runtime folder is set (as under cron).
  EXPECT_EQ(run.err, "");
  // Standard output has the report as ever; the PDF has the same text.
  EXPECT_EQ(Words(CommandOutput("pdftotext -layout " + pdf.string() + " -")), Words(run.out));
  const std::string images = CommandOutput("pdfimages -list " + pdf.string());
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 3) << images;  // 2 heading lines

  tProcess refused = RunProgram(
      {"--pdf", "/nonexistent/folder/r.pdf", "100", "15", "50", "10", ".6", "20", "70", "55"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("quorrel-report: The PDF file could not be written"),
            std::string::npos)
      << refused.err;
}

}  // namespace
