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
#include "analysis/version.h"
#include "cli/batch_numbers.h"
#include "cli/batch_progress.h"
#include "cli/names.h"
#include "cli/run_watch.h"
#include "cli/text_encoding.h"
#include "numeric/errors.h"

namespace {

// The value columns, in field order.
constexpr std::array<const char*, 8> kValueColumns = {"mean_x", "sd_x", "mean_y", "sd_y",
                                                      "r",      "n",    "case_x", "case_y"};

// The output's first row: the id, the three options, the ten numbers, the error.
std::string OutputHeader(char delimiter) {
  std::string header = std::string("id") + delimiter + kPriorOption.name + delimiter +
                       kLimitsOption.name + delimiter + kTestOption.name;
  for (const tResultColumn& column : kResultColumns)
    header += delimiter + std::string(column.name);
  return header + delimiter + "error" + delimiter + kVersionColumn + delimiter + kDrawsColumn;
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
  std::string draws;    // the draws its numbers come from, when it ran
  bool failed = false;  // the analysis ran and failed (else, without numbers, refused)
};

// One output row in `form`.  Text cells are written as valid UTF-8 whatever
// the file held.
void WriteRow(std::ostream& out, const tRowOutcome& row, const tOutputForm& form) {
  const char d = form.delimiter;
  auto text = [](const std::string& cell) { return CsvField(ValidUtf8(cell)); };
  out << (row.id_is_number ? row.id : text(row.id)) << d << text(row.prior) << d << text(row.limits)
      << d << text(row.test);
  for (std::size_t i = 0; i < kResultColumns.size(); ++i) {
    out << d;
    if (i >= row.numbers.size()) continue;
    std::string number = row.numbers[i];
    for (char& c : number)
      if (c == '.') c = form.decimal;
    out << number;
  }
  out << d << text(row.error) << d << text(kQuorrelVersion) << d << row.draws << '\n';
}

// The batch's status so far: an engine error (or a stopped run) outranks a
// refusal, which outranks success.
struct tBatchStatus {
  bool refused = false;
  bool failed = false;
  std::size_t done_rows = 0, refused_rows = 0, failed_rows = 0;
  int Status() const { return failed ? kExitEngineError : refused ? kExitRefused : kExitSuccess; }
  // "19 rows: 4 done, 14 refused, 1 failed"
  std::string Summary() const {
    const std::size_t rows = done_rows + refused_rows + failed_rows;
    return std::to_string(rows) + (rows == 1 ? " row: " : " rows: ") + std::to_string(done_rows) +
           " done, " + std::to_string(refused_rows) + " refused, " + std::to_string(failed_rows) +
           " failed";
  }
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
// Every option cell is read and shown, so that a refused one leaves the
// others' columns as the row gave them; the first refusal is the row's.
template <typename tTarget, typename tChoice, std::size_t kCount>
void ReadOptionCell(const tNamedOption<tChoice, kCount>& option, const std::string& text,
                    tTarget& target, std::string& shown, std::string& problem) {
  if (text.empty()) return;
  if (std::optional<tChoice> choice = option.Find(Lower(text))) {
    target = *choice;
  } else {
    if (problem.empty()) problem = option.Refusal("", text);
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
          std::string(
              "the unstandardized test always runs with the standard-theory prior, not the ") +
          kPriorOption.NameOf(*row.prior) + " one";
    } else {
      outcome.prior = kPriorOption.NameOf(row.Prior());
    }
  }
  if (outcome.limits.empty()) outcome.limits = kLimitsOption.NameOf(row.limits);
  if (outcome.test.empty()) outcome.test = kTestOption.NameOf(row.test);
  if (outcome.prior.empty())
    outcome.prior = kPriorOption.NameOf(row.prior ? *row.prior : row.Prior());
  return problem;
}

// A batch under way: what each row needs, and the status so far.
struct tBatch {
  const tCliOptions& options;
  char decimal_separator;
  const tCliRuntime& runtime;
  std::ostream& err;
  std::map<std::string, std::size_t> columns;  // from the header
  tCellNumbers numbers;
  tBatchStatus status;
  std::string label;  // what the analysis's progress line names
  bool told_not_utf8 = false;

  // Says once, on the first line met, that the file is not UTF-8.
  void CheckUtf8(const tCsvRecord& record) {
    if (told_not_utf8 || options.encoding != tEncoding::Utf8) return;
    const std::vector<std::string>& cells =
        record.Malformed() ? record.cells_before_fault : record.cells;
    for (const std::string& cell : cells) {
      if (IsValidUtf8(cell)) continue;
      told_not_utf8 = true;
      err << "quorrel-report: line " << record.line
          << " of the batch file is not valid UTF-8; bytes that are not UTF-8 are written as "
             "U+FFFD. "
             "For a file saved as Windows-1252 (\"Western Europe\"), give --encoding cp1252\n";
      return;
    }
  }

  // One record, the `row`th after the header, into its output row.  False
  // when Ctrl-C stopped its analysis: the row has no output then.
  bool Run(const tCsvRecord& record, std::size_t row, tRowOutcome& outcome) {
    const bool has_id = columns.count("id") != 0;
    if (!has_id) {
      outcome.id = std::to_string(row);
      outcome.id_is_number = true;
    }
    CheckUtf8(record);
    if (record.Malformed()) {
      outcome.error = "line " + std::to_string(record.line) + ": " + record.problem;
      if (has_id && columns.at("id") < record.cells_before_fault.size())
        outcome.id = record.cells_before_fault[columns.at("id")];
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
    numbers.SeeCorrelation(cell("r"));
    for (int f = 0; f < 8; ++f) {
      std::string typed;
      if (!numbers.Read(cell(kValueColumns[f]), kValueColumns[f], record.line, typed,
                        outcome.error)) {
        status.refused = true;
        return true;
      }
      entry.texts[f] = TypedValue(typed);
    }
    tWatchSettings watch = WatchSettings(options, runtime);
    watch.label = label.empty() ? "line " + std::to_string(record.line) : label;
    // A row's own prior cell outranks --prior, so the row is where to change it.
    watch.remedies.use_standard_theory = std::string("put ") +
                                         kPriorOption.NameOf(tPrior::StandardTheory) +
                                         " in the row's " + kPriorOption.name + " column";
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
        status.failed = outcome.failed = true;
      } else {
        for (const tResultColumn& column : kResultColumns)
          outcome.numbers.push_back(FormatFullPrecision(column.value(run->analysis)));
        outcome.draws = std::to_string(run->analysis.request.iterations);
      }
    } catch (const std::exception& e) {
      outcome.error = MessageLines(ErrorBoxText(e.what()), ' ');
      status.failed = outcome.failed = true;
    }
    return true;
  }
};

// The batch's progress: on a terminal, or one line per row when asked.
tProgressMode ProgressMode(const tCliOptions& options, const tCliRuntime& runtime) {
  if (runtime.progress) return tProgressMode::Terminal;
  return options.progress ? tProgressMode::Lines : tProgressMode::Off;
}

bool WasInterrupted(const tCliRuntime& runtime) {
  return runtime.interrupted != nullptr && runtime.interrupted->load();
}

// How a batch ends, after its last row or when reading stopped: a signal
// first, then a failed read, then `status`.
int BatchEnd(const tByteSource& source, const tCliRuntime& runtime, std::ostream& out,
             std::ostream& err, int status) {
  if (WasInterrupted(runtime)) {
    out.flush();
    err << "quorrel-report: " << StoppedWord(runtime)
        << "; the rows finished before it have been written\n";
    return StoppedStatus(runtime);
  }
  if (!source.Failure().empty()) {
    err << "quorrel-report: " << source.Failure() << "\n";
    return kExitEngineError;
  }
  return status;
}

}  // namespace

#ifdef _WIN32
// The file's bytes untranslated (the reader takes either line end);
// Windows' descriptors are not inherited by the programs a process starts.
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC;
#endif

tBatchFile::tBatchFile(const std::string& name, const std::atomic<bool>* interrupted)
    : name_(name), interrupted_(interrupted) {
  int err = 0;
  if (name == "-") {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = ::open(name.c_str(), kOpenFlags);
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
  if (!formula_like && text.find_first_of(",;\t\"\r\n") == std::string::npos) return text;
  std::string quoted = formula_like ? "\"'" : "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::size_t CountBatchRows(tByteSource& file, tEncoding encoding) {
  // Reads the file as RunBatch does: the same decoding, the same records.
  tDecodingSource source(file, encoding);
  tCsvReader reader(source);
  tCsvRecord record;
  if (!reader.Next(record)) return 0;
  reader.ExpectCells(record.cells.size());
  std::size_t rows = 0;
  while (reader.Next(record))
    ++rows;
  return rows;
}

int RunBatch(tByteSource& file, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err, const tCliRuntime& runtime,
             const tBatchRows& rows) {
  // CountBatchRows reads the file as this does.
  tDecodingSource source(file, options.encoding);
  tCsvReader reader(source);
  tCsvRecord header;
  if (!reader.Next(header)) {
    if (WasInterrupted(runtime) || !source.Failure().empty())
      return BatchEnd(source, runtime, out, err, kExitRefused);
    err << "quorrel-report: the batch file is empty; its first row must name the columns\n";
    return kExitRefused;
  }
  tBatch batch{options, decimal_separator,
               runtime, err,
               {},      tCellNumbers(reader.Delimiter(), options.batch_decimal_separator),
               {},      {},
               false};
  if (!ReadHeader(header, batch.columns, err)) return kExitRefused;
  reader.ExpectCells(header.cells.size());

  // The output's decimal separator is fixed by the first row with numbers
  // (a tab-separated file shows its own only in its r cells).
  std::optional<tOutputForm> form;
  const char delimiter =
      OutputForm(options.output_separator, reader.Delimiter(), std::nullopt).delimiter;
  out << OutputHeader(delimiter) << '\n';
  tBatchProgress progress(err, ProgressMode(options, runtime), rows.total);
  tCsvRecord record;
  std::size_t handled = 0;
  for (std::size_t row = 1; row <= rows.last && !WasInterrupted(runtime) && reader.Next(record);
       ++row) {
    if (!rows.Includes(row)) continue;  // another shard's row
    tRowOutcome outcome;
    batch.label = progress.Begin(++handled, record.line);
    if (!batch.Run(record, row, outcome)) break;
    if (!outcome.numbers.empty()) {
      ++batch.status.done_rows;
      if (!form)
        form = OutputForm(options.output_separator, reader.Delimiter(), batch.numbers.Decimal());
    } else {
      ++(outcome.failed ? batch.status.failed_rows : batch.status.refused_rows);
    }
    WriteRow(out, outcome, form.value_or(tOutputForm{delimiter, '.'}));
    out.flush();
    // Output that can no longer be written: the remaining rows would run
    // for nothing.  The caller reports the failure.
    if (!out) {
      progress.Finish();
      return kExitEngineError;
    }
  }
  progress.Finish();
  const int status = BatchEnd(source, runtime, out, err, batch.status.Status());
  err << "quorrel-report: " << batch.status.Summary() << "\n";
  return status;
}

int RunBatch(const std::string& csv_text, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err, const tCliRuntime& runtime) {
  tStringSource source(csv_text);
  return RunBatch(source, options, decimal_separator, out, err, runtime);
}
