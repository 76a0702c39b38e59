#include "cli/batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>

#include "analysis/text_format.h"
#include "cli/run_watch.h"
#include "numeric/errors.h"

namespace {

// The value columns, in field order.
constexpr std::array<const char*, 8> kValueColumns = {"mean_x", "sd_x", "mean_y", "sd_y",
                                                      "r",      "n",    "case_x", "case_y"};

const char* const kOutputHeader =
    "id,prior,limits,test,z_x,z_y,one_tailed_p,two_tailed_p,pct_estimate,pct_lower,pct_upper,"
    "zdcc,zdcc_lower,zdcc_upper,error";
constexpr int kResultColumns = 10;  // z_x ... zdcc_upper

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Collects the warnings of one row's checks.
class tCollectedMessages : public tMessageSink {
 public:
  std::string text;
  void ShowWarning(const std::string& warning) override {
    if (!text.empty()) text += ' ';
    text += MessageLines(warning, ' ');
  }
  void Beep() override {}
};

struct tRowOutcome {
  std::string id;
  bool id_is_number = false;  // the row's number, written as a plain number
  std::string prior, limits, test;
  std::vector<std::string> numbers;  // empty unless the row ran
  std::string error;
};

void WriteRow(std::ostream& out, const tRowOutcome& row) {
  out << (row.id_is_number ? row.id : CsvField(row.id)) << ',' << CsvField(row.prior) << ','
      << CsvField(row.limits) << ',' << CsvField(row.test);
  for (int i = 0; i < kResultColumns; ++i) {
    out << ',';
    if (static_cast<std::size_t>(i) < row.numbers.size()) out << row.numbers[i];
  }
  out << ',' << CsvField(row.error) << '\n';
}

// The batch's status so far: an engine error (or a stopped run) outranks a
// refusal, which outranks success.
struct tBatchStatus {
  bool refused = false;
  bool failed = false;
  int Status() const { return failed ? kExitEngineError : refused ? kExitRefused : kExitSuccess; }
};

// Where each named column of the header stands.  False, with the message
// written to `err`, when the header cannot be used.
bool ReadHeader(const tCsvRecord& header, std::map<std::string, std::size_t>& columns,
                std::ostream& err) {
  if (header.Malformed()) {
    err << "quorrel-report: the batch file's first row (line " << header.line
        << ") cannot be read: " << header.problem << "\n";
    return false;
  }
  for (std::size_t c = 0; c < header.cells.size(); ++c) {
    std::string name = Lower(header.cells[c]);
    if (name.empty()) continue;
    if (!columns.emplace(name, c).second) {
      err << "quorrel-report: the batch file names the column " << name << " twice\n";
      return false;
    }
  }
  std::string missing;
  for (const char* name : kValueColumns) {
    if (columns.count(name) == 0) missing += (missing.empty() ? "" : ", ") + std::string(name);
  }
  if (!missing.empty()) {
    err << "quorrel-report: the batch file's header lacks the column(s) " << missing << "\n";
    return false;
  }
  return true;
}

// One well-formed row: its options, its values, its analysis.
void RunRow(const tCsvRecord& record, const std::map<std::string, std::size_t>& columns,
            const tCliOptions& options, char decimal_separator, const tWatchSettings& watch,
            int32_t iterations, std::ostream& err, tRowOutcome& outcome, tBatchStatus& status,
            bool& interrupted) {
  auto cell = [&](const std::string& name) -> std::string {
    auto found = columns.find(name);
    return found == columns.end() ? std::string() : record.cells[found->second];
  };

  tWorksheetEntry entry;
  entry.limits = options.limits;
  entry.test = options.test;
  std::optional<tPrior> prior = options.prior;
  std::string problem;

  // An empty option cell takes the command line's option.
  if (std::string text = cell("limits"); !text.empty()) {
    if (auto limits = LimitsFromName(Lower(text))) {
      entry.limits = *limits;
    } else {
      problem = "limits must be two-sided, lower or upper, not \"" + text + "\"";
      outcome.limits = text;
    }
  }
  if (std::string text = cell("test"); problem.empty() && !text.empty()) {
    if (auto test = TestFromName(Lower(text))) {
      entry.test = *test;
    } else {
      problem = "test must be standardized or unstandardized, not \"" + text + "\"";
      outcome.test = text;
    }
  }
  if (std::string text = cell("prior"); problem.empty() && !text.empty()) {
    prior = PriorFromName(Lower(text));
    if (!prior) {
      problem = "prior must be calibrated or standard, not \"" + text + "\"";
      outcome.prior = text;
    }
  }
  if (problem.empty()) {
    if (ResolvePrior(prior, entry.test, entry.prior, problem)) {
      outcome.prior = PriorName(entry.prior);
    } else {
      problem =
          "the unstandardized test always runs with the standard-theory prior, not the "
          "calibrated one";
    }
  }
  if (outcome.limits.empty()) outcome.limits = LimitsName(entry.limits);
  if (outcome.test.empty()) outcome.test = TestName(entry.test);
  if (outcome.prior.empty()) outcome.prior = prior ? PriorName(*prior) : "";
  if (!problem.empty()) {
    outcome.error = problem;
    status.refused = true;
    return;
  }

  for (int f = 0; f < 8; ++f)
    entry.texts[f] = TypedValue(cell(kValueColumns[f]));
  try {
    tCollectedMessages messages;
    tAnalysis_request request;
    if (ReadEntry(entry, messages, request, decimal_separator) >= 0) {
      outcome.error = messages.text;
      status.refused = true;
      return;
    }
    request.iterations = iterations;
    tWatchedRun run = RunWatched(request, watch, err);
    if (run.end == tWatchEnd::Interrupted) {
      interrupted = true;
      return;
    }
    if (run.end == tWatchEnd::TimedOut) {
      outcome.error = TimeLimitMessage(watch, run, iterations);
      status.failed = true;
      return;
    }
    const tAnalysis& analysis = run.analysis;
    const tEngine_results& res = analysis.results;
    for (long double value :
         {analysis.z_x, analysis.z_y, res.one_tailed_p, res.two_tailed_p, res.pct_estimate,
          res.pct_lower, res.pct_upper, res.zdcc, res.zdcc_lower, res.zdcc_upper}) {
      outcome.numbers.push_back(FormatFullPrecision(value));
    }
  } catch (const std::exception& e) {
    outcome.error = MessageLines(ErrorBoxText(e.what()), ' ');
    status.failed = true;
  }
}

int Interrupted(std::ostream& out, std::ostream& err) {
  out.flush();
  err << "quorrel-report: interrupted; the rows finished before it have been written\n";
  return kExitInterrupted;
}

}  // namespace

tBatchFile::tBatchFile(const std::string& name, const std::atomic<bool>* interrupted)
    : name_(name), interrupted_(interrupted) {
  int err = 0;
  if (name == "-") {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    own_fd_ = fd_ >= 0;
    if (fd_ < 0) err = errno;
  }
  struct stat info {};
  if (err == 0 && ::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) err = EISDIR;
  if (err != 0) failure_ = "cannot read " + name + ": " + std::strerror(err);
}

tBatchFile::~tBatchFile() {
  if (own_fd_) ::close(fd_);
}

std::size_t tBatchFile::Read(char* buffer, std::size_t size) {
  if (!failure_.empty()) return 0;
  while (true) {
    ssize_t got = ::read(fd_, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) {
      if (interrupted_ != nullptr && interrupted_->load()) return 0;
      continue;
    }
    failure_ = "cannot read " + name_ + ": " + std::strerror(errno);
    return 0;
  }
}

std::string CsvField(const std::string& text) {
  const bool formula_like = !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' ||
                                              text[0] == '@' || text[0] == '\t' || text[0] == '\r');
  if (!formula_like && text.find_first_of(",;\"\r\n") == std::string::npos) return text;
  std::string quoted = formula_like ? "\"'" : "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

int RunBatch(tByteSource& source, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err, const tCliRuntime& runtime) {
  auto was_interrupted = [&] {
    return runtime.interrupted != nullptr && runtime.interrupted->load();
  };
  auto read_failure = [&] {
    err << "quorrel-report: " << source.Failure() << "\n";
    return kExitEngineError;
  };

  tCsvReader reader(source);
  tCsvRecord header;
  if (!reader.Next(header)) {
    if (was_interrupted()) return Interrupted(out, err);
    if (!source.Failure().empty()) return read_failure();
    err << "quorrel-report: the batch file is empty; its first row must name the columns\n";
    return kExitRefused;
  }
  std::map<std::string, std::size_t> columns;
  if (!ReadHeader(header, columns, err)) return kExitRefused;
  reader.ExpectCells(header.cells.size());
  const bool has_id = columns.count("id") != 0;

  tWatchSettings watch;
  watch.max_seconds = options.max_seconds;
  watch.progress = runtime.progress;
  watch.interrupted = runtime.interrupted;

  out << kOutputHeader << '\n';
  tBatchStatus status;
  tCsvRecord record;
  for (std::size_t row = 1; !was_interrupted() && reader.Next(record); ++row) {
    tRowOutcome outcome;
    if (!has_id) {
      outcome.id = std::to_string(row);
      outcome.id_is_number = true;
    }
    if (record.Malformed()) {
      outcome.error = "line " + std::to_string(record.line) + ": " + record.problem;
      status.refused = true;
    } else {
      if (has_id) outcome.id = record.cells[columns.at("id")];
      watch.label = "line " + std::to_string(record.line);
      bool interrupted = false;
      RunRow(record, columns, options, decimal_separator, watch, runtime.iterations, err, outcome,
             status, interrupted);
      if (interrupted) break;
    }
    WriteRow(out, outcome);
    out.flush();
    // Output that can no longer be written: the remaining rows would run
    // for nothing.  The caller reports the failure.
    if (!out) return kExitEngineError;
  }
  if (was_interrupted()) return Interrupted(out, err);
  if (!source.Failure().empty()) return read_failure();
  return status.Status();
}

int RunBatch(const std::string& csv_text, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err, const tCliRuntime& runtime) {
  tStringSource source(csv_text);
  return RunBatch(source, options, decimal_separator, out, err, runtime);
}
