#include "cli/report_cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <ostream>
#include <string_view>

#include "analysis/Metrics_Papers.h"
#include "analysis/data_file.h"
#include "analysis/document_file.h"
#include "analysis/report.h"
#include "analysis/text_format.h"
#include "analysis/version.h"
#include "cli/analysis_json.h"
#include "cli/batch.h"
#include "cli/batch_numbers.h"
#include "cli/fd_output.h"
#include "cli/help_text.h"
#include "cli/names.h"
#include "cli/pdf_output.h"
#include "cli/run_watch.h"
#include "cli/shard.h"
#include "cli/text_encoding.h"
#include "numeric/errors.h"

namespace {

// Sends the input checks' warnings to the error stream; the beep is dropped.
class tStreamMessages : public tMessageSink {
 public:
  explicit tStreamMessages(std::ostream& err) : err_(err) {}
  void ShowWarning(const std::string& text) override {
    err_ << "quorrel-report: " << MessageLines(text) << '\n';
  }
  void Beep() override {}

 private:
  std::ostream& err_;
};

// Takes key presses and refuses nothing aloud: TypedValue wants only the
// character the filter lets through.
class tSilentMessages : public tMessageSink {
 public:
  void ShowWarning(const std::string&) override {}
  void Beep() override {}
};

bool IsNegativeNumber(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '-' && ((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.');
}

// The --max-seconds value: a positive number, read as a value is read
// (a comma stands for the point).
bool ReadSeconds(const std::string& text, double& seconds) {
  std::string typed = TypedValue(text);
  if (typed.empty() || typed.find_first_not_of("0123456789.") != std::string::npos) return false;
  std::size_t end = 0;
  bool overflow = false;
  seconds = ParseDoubleInCLocale(typed, end, overflow);
  return end == typed.size() && !overflow && seconds > 0;
}

// After everything was written: a standard output that could not take it
// (a full disk, a closed pipe) is a failure, never a success, and says why
// when the stream knows.
int CheckWritten(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  err << "quorrel-report: cannot write the output";
  if (const auto* fd_output = dynamic_cast<const tFdOutputBuffer*>(out.rdbuf());
      fd_output != nullptr && fd_output->Error() != 0)
    err << ": " << std::strerror(fd_output->Error());
  err << "\n";
  return kExitEngineError;
}

// --pdf: the reports through the program's PDF writer, into the file as
// every file of the program is written, or onto standard output for "-".
int WritePdf(const std::string& file, const std::vector<tPdfReportEntry>& reports,
             std::ostream& out, std::ostream& err) {
  if (PdfOutput() == nullptr) {
    err << "quorrel-report: --pdf is not available: this program was built without Qt\n";
    return kExitEngineError;
  }
  try {
    const std::string bytes = PdfOutput()->Render(reports);
    if (file == "-") {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    } else {
      WriteDocumentFile(file, bytes, "PDF file");
    }
  } catch (const std::bad_alloc&) {
    err << "quorrel-report: There is not enough memory to make the PDF file.\n"
           "Close other programs and try again.\n";
    return kExitEngineError;
  } catch (const std::exception& e) {
    err << "quorrel-report: " << ErrorBoxText(e.what()) << "\n";
    return kExitEngineError;
  }
  return kExitSuccess;
}

// The options that take a value.
constexpr std::array<std::string_view, 13> kValueOptions = {
    "--prior",           "--limits",   "--test",
    "--notes",           "--batch",    "--decimal-separator",
    "--max-seconds",     "--pdf",      "--threads",
    "--shard",           "--encoding", "--batch-decimal-separator",
    "--output-separator"};

// An option that names a choice: one of the option's names, exactly.
template <typename tTarget, typename tChoice, std::size_t kCount>
bool SetChoice(const tNamedOption<tChoice, kCount>& option, const std::string& value,
               tTarget& target, std::string& problem) {
  std::optional<tChoice> choice = option.Find(value);
  if (!choice) {
    problem = option.Refusal("--", value);
    return false;
  }
  target = *choice;
  return true;
}

// Sets the option `name` (one of kValueOptions) to `value`.
bool SetValueOption(const std::string& name, const std::string& value, tCliOptions& options,
                    std::string& problem) {
  tAnalysisOptions& analysis = options.analysis;
  if (name == "--prior") return SetChoice(kPriorOption, value, analysis.prior, problem);
  if (name == "--limits") return SetChoice(kLimitsOption, value, analysis.limits, problem);
  if (name == "--test") return SetChoice(kTestOption, value, analysis.test, problem);
  if (name == "--notes") {
    AddNotes(value, analysis.notes);
  } else if (name == "--batch") {
    if (options.batch_file) {
      problem = "--batch given twice; one run reads one batch file";
      return false;
    }
    options.batch_file = value;
  } else if (name == "--encoding") {
    if (!ParseEncoding(value, options.encoding)) {
      problem = "--encoding must be utf-8 or cp1252, not \"" + value + "\"";
      return false;
    }
  } else if (name == "--output-separator") {
    char delimiter = ',';
    if (!ParseOutputSeparator(value, delimiter)) {
      problem = "--output-separator must be \",\", \";\" or tab, not \"" + value + "\"";
      return false;
    }
    options.output_separator = delimiter;
  } else if (name == "--batch-decimal-separator") {
    if (value != "." && value != ",") {
      problem = "--batch-decimal-separator must be \".\" or \",\", not \"" + value + "\"";
      return false;
    }
    options.batch_decimal_separator = value[0];
  } else if (name == "--pdf") {
    if (value.empty()) {
      problem = "--pdf needs a file name (\"-\" for standard output)";
      return false;
    }
    options.pdf_file = value;
  } else if (name == "--threads" || name == "--shard") {
    return SetClusterOption(name, value, options, problem);
  } else if (name == "--max-seconds") {
    if (!ReadSeconds(value, options.max_seconds)) {
      problem = "--max-seconds must be a number of seconds above 0, not \"" + value + "\"";
      return false;
    }
  } else if (value == "." || value == ",") {  // --decimal-separator
    options.decimal_separator = value[0];
  } else {
    problem = "--decimal-separator must be \".\" or \",\", not \"" + value + "\"";
    return false;
  }
  return true;
}

// The options and values given together: a batch takes its values from
// its file, a single analysis needs all eight.
bool CheckCombination(const tCliOptions& options, std::string& problem) {
  if (!options.batch_file) {
    if (options.values.size() == 8) return true;
    problem = "expected 8 values (MEAN_X SD_X MEAN_Y SD_Y R N CASE_X CASE_Y), got " +
              std::to_string(options.values.size());
  } else if (!options.values.empty()) {
    problem = "--batch takes its values from the file; give no values on the command line";
  } else if (options.json) {
    problem = "--json and --batch cannot be combined; --batch writes CSV";
  } else if (!options.analysis.notes.empty()) {
    problem = "--notes cannot be combined with --batch";
  } else if (options.pdf_file) {
    problem = "--pdf cannot be combined with --batch";
  } else {
    return true;
  }
  return false;
}

// The options that only a batch takes, given without one.
bool CheckBatchOptions(const tCliOptions& options, std::string& problem) {
  if (options.batch_file) return true;
  if (options.shard) {
    problem = "--shard divides a batch; give it with --batch";
  } else if (options.progress) {
    problem = "--progress shows the progress of a batch; give it with --batch";
  } else if (options.batch_decimal_separator || options.output_separator ||
             options.encoding != tEncoding::Utf8) {
    problem =
        "--encoding, --batch-decimal-separator and --output-separator go with --batch; the "
        "values on the command line follow --decimal-separator";
  } else {
    return true;
  }
  return false;
}

// The single analysis's outputs: one of them at most on standard output.
bool CheckOutputs(const tCliOptions& options, std::string& problem) {
  if (!options.json || options.pdf_file != "-") return true;
  problem = "--json and --pdf - cannot be combined; both would go to standard output";
  return false;
}

int UsageError(std::ostream& err, const std::string& problem) {
  err << "quorrel-report: " << problem << "\n\n" << UsageText();
  return kExitUsage;
}

// One analysis from the eight values on the command line: the report (or
// the JSON object) on `out`, and the PDF when asked for.
int RunSingle(const tCliOptions& options, char separator, std::ostream& out, std::ostream& err,
              const tCliRuntime& runtime) {
  tWorksheetEntry entry;
  for (int i = 0; i < 8; ++i)
    entry.texts[i] = TypedValue(options.values[i]);
  entry.options = options.analysis;

  const tWatchSettings watch = WatchSettings(options, runtime);
  std::optional<tWatchedRun> run;
  try {
    tStreamMessages messages(err);
    run = ReadAndRun(entry, messages, separator, watch, runtime.iterations, err);
    if (!run) return kExitRefused;
  } catch (const std::exception& e) {
    err << "quorrel-report: " << MessageLines(ErrorBoxText(e.what())) << "\n";
    return kExitEngineError;
  }
  if (run->end == tWatchEnd::Interrupted) {
    err << "quorrel-report: " << StoppedWord(runtime) << "\n";
    return StoppedStatus(runtime);
  }
  if (run->end == tWatchEnd::TimedOut) {
    err << "quorrel-report: " << TimeLimitMessage(watch, *run, runtime.iterations, separator)
        << "\n";
    return kExitEngineError;
  }
  std::vector<std::string> report = BuildReport(false, ProgramTitle, run->analysis, separator);
  // With "--pdf -" standard output carries the PDF alone.
  const bool pdf_on_output = options.pdf_file == "-";
  if (options.json) {
    out << AnalysisJson(run->analysis, report);
  } else if (!pdf_on_output) {
    for (const std::string& line : report)
      out << line << '\n';
  }
  if (options.pdf_file)
    return CheckWritten(
        out, err, WritePdf(*options.pdf_file, {{report, run->analysis, separator}}, out, err));
  return CheckWritten(out, err, kExitSuccess);
}

}  // namespace

int StoppedStatus(const tCliRuntime& runtime) {
  const bool terminated = runtime.stop_signal != nullptr && runtime.stop_signal->load() == SIGTERM;
  return terminated ? kExitTerminated : kExitInterrupted;
}

std::string StoppedWord(const tCliRuntime& runtime) {
  return StoppedStatus(runtime) == kExitTerminated ? "terminated" : "interrupted";
}

std::string TypedValue(const std::string& text) {
  tSilentMessages silent;
  std::string typed;
  typed.reserve(text.size());
  for (char c : text) {
    char passed = FilterNumericKey(c, silent);
    typed.push_back(passed != '\0' ? passed : c);
  }
  return typed;
}

void AddNotes(const std::string& text, std::vector<std::string>& notes) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      notes.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  notes.push_back(line);
}

bool ParseCommandLine(const std::vector<std::string>& args, tCliOptions& options,
                      std::string& problem) {
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options_ended || arg == "-" || IsNegativeNumber(arg) || arg.empty() || arg[0] != '-') {
      options.values.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--progress") {
      options.progress = true;
    } else if (arg.rfind("--json=", 0) == 0 || arg.rfind("--help=", 0) == 0 ||
               arg.rfind("--version=", 0) == 0 || arg.rfind("--progress=", 0) == 0) {
      problem = "option " + arg.substr(0, arg.find('=')) + " takes no value";
      return false;
    } else {
      // The options with a value, as "--name VALUE" or "--name=VALUE".
      std::string name = arg;
      std::optional<std::string> value;
      if (std::size_t equals = arg.find('=');
          arg.rfind("--", 0) == 0 && equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
      }
      if (std::find(kValueOptions.begin(), kValueOptions.end(), name) == kValueOptions.end()) {
        problem = "unknown option " + arg;
        return false;
      }
      if (!value && i + 1 >= args.size()) {
        problem = "option " + name + " needs a value";
        return false;
      }
      if (!SetValueOption(name, value ? *value : args[++i], options, problem)) return false;
    }
  }
  if (options.help || options.version) return true;
  if (!CheckCombination(options, problem) || !CheckBatchOptions(options, problem) ||
      !CheckOutputs(options, problem))
    return false;
  if (options.analysis.PriorOverruled()) {
    problem = std::string(
                  "the unstandardized test always runs with the standard-theory prior; "
                  "--prior ") +
              kPriorOption.NameOf(*options.analysis.prior) +
              " cannot be combined with --test unstandardized";
    return false;
  }
  return true;
}

int RunQuorrelReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     char default_separator, const tCliRuntime& runtime) {
  tCliOptions options;
  std::string problem;
  if (!ParseCommandLine(args, options, problem)) return UsageError(err, problem);
  if (options.help) {
    out << HelpText();
    return CheckWritten(out, err, kExitSuccess);
  }
  if (options.version) {
    out << "quorrel-report " << kQuorrelVersion << "\n";
    return CheckWritten(out, err, kExitSuccess);
  }
  const char separator = options.decimal_separator.value_or(default_separator);
  SetEngineThreads(options.threads);

  if (options.batch_file) {
    tBatchFile file(*options.batch_file, runtime.interrupted);
    if (!file.Failure().empty()) {
      err << "quorrel-report: " << file.Failure() << "\n";
      return kExitEngineError;
    }
    tBatchRows rows;
    if (!PlanBatchRows(options, runtime.progress || options.progress, runtime.interrupted, rows,
                       problem))
      return UsageError(err, problem);
    return CheckWritten(out, err, RunBatch(file, options, separator, out, err, runtime, rows));
  }

  return RunSingle(options, separator, out, err, runtime);
}

tWatchSettings WatchSettings(const tCliOptions& options, const tCliRuntime& runtime) {
  tWatchSettings watch;
  watch.max_seconds = options.max_seconds;
  watch.progress = runtime.progress;
  watch.interrupted = runtime.interrupted;
  return watch;
}

std::optional<tWatchedRun> ReadAndRun(const tWorksheetEntry& entry, tMessageSink& messages,
                                      char decimal_separator, const tWatchSettings& watch,
                                      int32_t iterations, std::ostream& err) {
  tAnalysis_request request;
  if (ReadEntry(entry, messages, request, decimal_separator)) return std::nullopt;
  request.iterations = iterations;
  return RunWatched(request, watch, decimal_separator, err);
}
