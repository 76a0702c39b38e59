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
#include "cli/names.h"
#include "cli/run_watch.h"
#include "numeric/errors.h"

namespace {

// The value columns, in field order.
constexpr std::array<const char*, 8> kValueColumns = {"mean_x", "sd_x", "mean_y", "sd_y",
                                                      "r",      "n",    "case_x", "case_y"};

// The output's first row: the id, the three options, the ten numbers, the error.
std::string OutputHeader() {
  std::string header =
      std::string("id,") + kPriorOption.name + ',' + kLimitsOption.name + ',' + kTestOption.name;
  for (const tResultColumn& column : kResultColumns)
    header += std::string(",") + column.name;
  return header + ",error";
}

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
  for (std::size_t i = 0; i < kResultColumns.size(); ++i) {
    out << ',';
    if (i < row.numbers.size()) out << row.numbers[i];
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

// The cells of one well-formed row, by column name; "" for a column the
// file does not have.
struct tRowCells {
  const tCsvRecord& record;
  const std::map<std::string, std::size_t>& columns;
  std::string operator()(const std::string& name) const {
    auto found = columns.find(name);
    return found == columns.end() ? std::string() : record.cells[found->second];
  }
};

// An option cell, after any earlier problem of the row: empty takes the
// command line's choice; otherwise one of the option's names, in any case.
// A refused cell is shown in the output as it stands.
template <typename tTarget, typename tChoice, std::size_t kCount>
void ReadOptionCell(const tNamedOption<tChoice, kCount>& option, const std::string& text,
                    tTarget& target, std::string& shown, std::string& problem) {
  if (!problem.empty() || text.empty()) return;
  if (std::optional<tChoice> choice = option.Find(Lower(text))) {
    target = *choice;
  } else {
    problem = option.Refusal("", text);
    shown = text;
  }
}

// The row's options: its own option cells over the command line's.  Fills
// the outcome's option columns; returns the problem that refuses the row, or "".
std::string ReadRowOptions(const tRowCells& cell, const tCliOptions& options, tAnalysisOptions& row,
                           tRowOutcome& outcome) {
  row = options.analysis;
  std::string problem;
  ReadOptionCell(kLimitsOption, cell(kLimitsOption.name), row.limits, outcome.limits, problem);
  ReadOptionCell(kTestOption, cell(kTestOption.name), row.test, outcome.test, problem);
  ReadOptionCell(kPriorOption, cell(kPriorOption.name), row.prior, outcome.prior, problem);
  if (problem.empty()) {
    if (row.PriorOverruled()) {
      problem =
          "the unstandardized test always runs with the standard-theory prior, not the "
          "calibrated one";
    } else {
      outcome.prior = kPriorOption.NameOf(row.Prior());
    }
  }
  if (outcome.limits.empty()) outcome.limits = kLimitsOption.NameOf(row.limits);
  if (outcome.test.empty()) outcome.test = kTestOption.NameOf(row.test);
  if (outcome.prior.empty()) outcome.prior = row.prior ? kPriorOption.NameOf(*row.prior) : "";
  return problem;
}

// A batch under way: what each row needs, and the status so far.
struct tBatch {
  const tCliOptions& options;
  char decimal_separator;
  const tCliRuntime& runtime;
  std::ostream& err;
  std::map<std::string, std::size_t> columns;  // from the header
  tBatchStatus status;

  // One record, the `row`th after the header, into its output row.  False
  // when Ctrl-C stopped its analysis: the row has no output then.
  bool Run(const tCsvRecord& record, std::size_t row, tRowOutcome& outcome) {
    const bool has_id = columns.count("id") != 0;
    if (!has_id) {
      outcome.id = std::to_string(row);
      outcome.id_is_number = true;
    }
    if (record.Malformed()) {
      outcome.error = "line " + std::to_string(record.line) + ": " + record.problem;
      status.refused = true;
      return true;
    }
    if (has_id) outcome.id = record.cells[columns.at("id")];
    const tRowCells cell{record, columns};
    tWorksheetEntry entry;
    outcome.error = ReadRowOptions(cell, options, entry.options, outcome);
    if (!outcome.error.empty()) {
      status.refused = true;
      return true;
    }
    for (int f = 0; f < 8; ++f)
      entry.texts[f] = TypedValue(cell(kValueColumns[f]));
    tWatchSettings watch = WatchSettings(options, runtime);
    watch.label = "line " + std::to_string(record.line);
    return RunEntry(entry, watch, outcome);
  }

  // The row's analysis: its numbers, or its refusal or error.  False when
  // Ctrl-C stopped it.
  bool RunEntry(const tWorksheetEntry& entry, const tWatchSettings& watch, tRowOutcome& outcome) {
    try {
      tCollectedMessages messages;
      std::optional<tWatchedRun> run =
          ReadAndRun(entry, messages, decimal_separator, watch, runtime.iterations, err);
      if (!run) {
        outcome.error = messages.text;
        status.refused = true;
      } else if (run->end == tWatchEnd::Interrupted) {
        return false;
      } else if (run->end == tWatchEnd::TimedOut) {
        outcome.error = TimeLimitMessage(watch, *run, runtime.iterations, decimal_separator);
        status.failed = true;
      } else {
        for (const tResultColumn& column : kResultColumns)
          outcome.numbers.push_back(FormatFullPrecision(column.value(run->analysis)));
      }
    } catch (const std::exception& e) {
      outcome.error = MessageLines(ErrorBoxText(e.what()), ' ');
      status.failed = true;
    }
    return true;
  }
};

bool WasInterrupted(const tCliRuntime& runtime) {
  return runtime.interrupted != nullptr && runtime.interrupted->load();
}

// How a batch ends, after its last row or when reading stopped: Ctrl-C
// first, then a failed read, then `status`.
int BatchEnd(const tByteSource& source, const tCliRuntime& runtime, std::ostream& out,
             std::ostream& err, int status) {
  if (WasInterrupted(runtime)) {
    out.flush();
    err << "quorrel-report: interrupted; the rows finished before it have been written\n";
    return kExitInterrupted;
  }
  if (!source.Failure().empty()) {
    err << "quorrel-report: " << source.Failure() << "\n";
    return kExitEngineError;
  }
  return status;
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
  tCsvReader reader(source);
  tCsvRecord header;
  if (!reader.Next(header)) {
    if (WasInterrupted(runtime) || !source.Failure().empty())
      return BatchEnd(source, runtime, out, err, kExitRefused);
    err << "quorrel-report: the batch file is empty; its first row must name the columns\n";
    return kExitRefused;
  }
  tBatch batch{options, decimal_separator, runtime, err, {}, {}};
  if (!ReadHeader(header, batch.columns, err)) return kExitRefused;
  reader.ExpectCells(header.cells.size());

  out << OutputHeader() << '\n';
  tCsvRecord record;
  for (std::size_t row = 1; !WasInterrupted(runtime) && reader.Next(record); ++row) {
    tRowOutcome outcome;
    if (!batch.Run(record, row, outcome)) break;
    WriteRow(out, outcome);
    out.flush();
    // Output that can no longer be written: the remaining rows would run
    // for nothing.  The caller reports the failure.
    if (!out) return kExitEngineError;
  }
  return BatchEnd(source, runtime, out, err, batch.status.Status());
}

int RunBatch(const std::string& csv_text, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err, const tCliRuntime& runtime) {
  tStringSource source(csv_text);
  return RunBatch(source, options, decimal_separator, out, err, runtime);
}
