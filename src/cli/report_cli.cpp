#include "cli/report_cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <sstream>
#include <string_view>

#include "analysis/Metrics_Papers.h"
#include "analysis/data_file.h"
#include "analysis/document_file.h"
#include "analysis/report.h"
#include "analysis/text_format.h"
#include "analysis/version.h"
#include "cli/batch.h"
#include "cli/batch_numbers.h"
#include "cli/draws_json.h"
#include "cli/fd_output.h"
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

// A control character as JSON escapes it: a backslash, "u" and four
// lower-case hexadecimal digits.
std::string JsonEscape(unsigned char c) {
  char digits[2];
  const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, c, 16);
  return "\\u" + std::string(4 - static_cast<std::size_t>(written.ptr - digits), '0') +
         std::string(digits, written.ptr);
}

// A JSON string literal, always valid UTF-8: each byte that does not belong
// to a well-formed UTF-8 sequence becomes U+FFFD.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += JsonEscape(c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (std::size_t length = Utf8SequenceLength(text, i); length > 0) {
      out.append(text, i, length);
      i += length - 1;
    } else {
      out += "\\ufffd";
    }
  }
  return out + "\"";
}

std::string JsonNumber(tReal value) {
  if (real_math::isnan(value) || real_math::isinf(value)) return "null";
  return FormatFullPrecision(value);
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
    problem =
        "the unstandardized test always runs with the standard-theory prior; "
        "--prior calibrated cannot be combined with --test unstandardized";
    return false;
  }
  return true;
}

std::string AnalysisJson(const tAnalysis& analysis, const std::vector<std::string>& report) {
  const tAnalysis_request& q = analysis.request;
  std::ostringstream json;
  json << "{\n";
  json << "  \"inputs\": {\n";
  json << "    \"mean_x\": " << JsonNumber(q.mean_x) << ",\n";
  json << "    \"sd_x\": " << JsonNumber(q.sd_x) << ",\n";
  json << "    \"mean_y\": " << JsonNumber(q.mean_y) << ",\n";
  json << "    \"sd_y\": " << JsonNumber(q.sd_y) << ",\n";
  json << "    \"r\": " << JsonNumber(q.r) << ",\n";
  json << "    \"n\": " << q.n << ",\n";
  json << "    \"case_x\": " << JsonNumber(q.case_x) << ",\n";
  json << "    \"case_y\": " << JsonNumber(q.case_y) << "\n";
  json << "  },\n";
  json << "  \"options\": {\n";
  auto option = [&](const auto& named, auto choice) {
    json << "    \"" << named.name << "\": " << JsonString(named.NameOf(choice)) << ",\n";
  };
  option(kPriorOption, q.options.Prior());
  option(kLimitsOption, q.options.limits);
  option(kTestOption, q.options.test);
  json << "    \"iterations\": " << q.iterations << ",\n";
  json << "    \"credibility_percent\": " << kConfidencePercent << ",\n";
  json << "    \"notes\": [";
  for (std::size_t i = 0; i < q.options.notes.size(); ++i) {
    json << (i == 0 ? "" : ", ") << JsonString(q.options.notes[i]);
  }
  json << "]\n";
  json << "  },\n";
  for (std::size_t c = 0; c < kResultColumns.size(); ++c) {
    if (c == kZScoreColumns) json << "  \"results\": {\n";
    const tResultColumn& column = kResultColumns[c];
    json << (c < kZScoreColumns ? "  \"" : "    \"") << column.name
         << "\": " << JsonNumber(column.value(analysis))
         << (c + 1 < kResultColumns.size() ? ",\n" : "\n");
  }
  json << "  },\n";
  json << "  \"draws_summary\": " << DrawSummaryJson(analysis.draws, "  ") << ",\n";
  json << "  \"" << kVersionColumn << "\": " << JsonString(kQuorrelVersion) << ",\n";
  json << "  \"" << kDrawsColumn << "\": " << q.iterations << ",\n";
  json << "  \"report\": [\n";
  for (std::size_t i = 0; i < report.size(); ++i) {
    json << "    " << JsonString(report[i]) << (i + 1 < report.size() ? ",\n" : "\n");
  }
  json << "  ]\n";
  json << "}\n";
  return json.str();
}

std::string UsageText() {
  return "Usage: quorrel-report [OPTIONS] [--] MEAN_X SD_X MEAN_Y SD_Y R N CASE_X CASE_Y\n"
         "       quorrel-report [OPTIONS] --batch FILE.csv\n"
         "       quorrel-report --help | --version\n";
}

std::string HelpText() {
  return UsageText() +
         "\n"
         "Tests whether the difference between a case's scores on two tasks, X and Y, is\n"
         "abnormal compared with a control sample, by Bayesian Monte Carlo (1,000,000\n"
         "draws from fixed seeds, so the same inputs always give the same numbers), and\n"
         "prints the report that the worksheet's Compute would show as a first report.\n"
         "\n"
         "Values, in this order:\n"
         "  MEAN_X   mean of the control or normative sample on Task X\n"
         "  SD_X     standard deviation for the normative sample on Task X (above 0)\n"
         "  MEAN_Y   mean of the control or normative sample on Task Y\n"
         "  SD_Y     standard deviation for the normative sample on Task Y (above 0)\n"
         "  R        correlation between Tests X and Y in the normative sample\n"
         "           (strictly between -1 and 1)\n"
         "  N        sample size of the normative sample (a whole number, at least 3)\n"
         "  CASE_X   the case's test score on Task X\n"
         "  CASE_Y   the case's test score on Task Y\n"
         "Each value is read as if typed into the worksheet's field: a comma counts\n"
         "as a decimal point, as the field's key filter makes it one (so 0,6 and 0.6\n"
         "are the same number, in every locale); then the worksheet's number reader\n"
         "takes digits, at most one decimal point and a minus sign, which must be\n"
         "the very first character, and skips spaces. Anything else is refused:\n"
         "exponents, a plus sign, a second point or comma (\"1,000\" is 1.000, so\n"
         "write thousands without a separator), a blank before the minus sign. The\n"
         "fields' six-character limit does not apply.\n"
         "Put \"--\" before the values when one of them is negative, for example\n"
         "  quorrel-report -- 100 15 50 10 -.3 20 70 45\n"
         "(a value such as -0.3 is also recognised without it).\n"
         "\n"
         "Options:\n"
         "  --prior calibrated|standard\n"
         "        the prior: calibrated to give frequentist properties (default), or\n"
         "        derived from standard theory (Jeffreys prior)\n"
         "  --limits two-sided|lower|upper\n"
         "        95% two-sided limits (default), or a one-sided lower or upper limit\n"
         "  --test standardized|unstandardized\n"
         "        analyse the case's standardized difference (default) or its\n"
         "        unstandardized (raw) difference; the unstandardized test always\n"
         "        runs with the standard-theory prior, so it implies --prior standard\n"
         "        and cannot be combined with --prior calibrated\n"
         "  --notes TEXT\n"
         "        a line of notes for the report's \"User's Notes:\"; repeat for more\n"
         "        lines (a CR, a LF or CR LF in TEXT also starts a new line)\n"
         "  --json\n"
         "        print one JSON object instead of the report: the inputs and options,\n"
         "        the z scores and the eight results as numbers with 21 significant\n"
         "        digits, a summary of the posterior draws for a figure (\"draws_summary\":\n"
         "        \"counts\" of the draws in \"bins\" of \"bin_width\" from \"low\", and the\n"
         "        draws \"below\" and \"above\" them), what made the numbers\n"
         "        (\"program_version\", the version of quorrel-report, and \"draws\", the\n"
         "        number of posterior draws), and the report's lines as an array of\n"
         "        strings; bytes of the notes that are not UTF-8 are replaced by U+FFFD\n"
         "  --pdf FILE\n"
         "        also write the report to the PDF file FILE, laid out as the viewer\n"
         "        prints it and followed by the figure of the posterior distribution\n"
         "        (needs no printer and no display; not with --batch). The file is\n"
         "        written whole through a new temporary file beside it and then\n"
         "        renamed, so an earlier FILE stays as it was when writing fails (the\n"
         "        message says why, status 1); a link named FILE is replaced, never\n"
         "        written through. \"--pdf -\" writes the PDF alone to standard output\n"
         "        (not with --json)\n"
         "  --batch FILE.csv\n"
         "        run one case per row of a CSV file (\"-\" reads standard input) and\n"
         "        print the results as CSV (see below); one --batch per run\n"
         "  --batch-decimal-separator .|,\n"
         "        the decimal separator of the batch file's values, for every kind of\n"
         "        file (default: from the file, see below)\n"
         "  --encoding utf-8|cp1252\n"
         "        the batch file's encoding (default utf-8); cp1252 is Windows-1252,\n"
         "        what spreadsheets save as \"Western Europe\". A file that begins with\n"
         "        a UTF-16 byte order mark is read as UTF-16 whatever this says\n"
         "  --output-separator ,|;|tab\n"
         "        the delimiter of the batch output (default: the batch file's); with\n"
         "        \";\" the numbers have decimal commas, with \",\" decimal points\n"
         "  --decimal-separator .|,\n"
         "        the decimal separator of the report's numbers and of the numbers in\n"
         "        messages (default: that of the locale in LC_ALL, LC_NUMERIC or LANG);\n"
         "        JSON numbers always use \".\"; the batch file's values and the CSV\n"
         "        output follow the batch options\n"
         "  --max-seconds S\n"
         "        end an analysis that runs longer than S seconds (a number above 0;\n"
         "        for a batch, each row's analysis) with an error; the next row goes on.\n"
         "        Without it an analysis runs to its end, which for the calibrated prior\n"
         "        with a correlation close to -1 or 1 can take hours\n"
         "  --threads N\n"
         "        compute each analysis with N threads (1 to 64); the numbers are the\n"
         "        same in every digit for any N. Default: one per processor the process\n"
         "        may run on (its CPU affinity mask, as taskset or a batch scheduler\n"
         "        sets it, and its control group's CPU quota)\n"
         "  --shard K/N\n"
         "        with --batch, run only part K of N of the rows (see \"Batch files\");\n"
         "        the batch file must be one that can be read twice (not a pipe)\n"
         "  --progress\n"
         "        with --batch, show the batch's progress on standard error even when\n"
         "        it is not a terminal, one line per row\n"
         "  --help, -h\n"
         "        print this text and exit\n"
         "  --version\n"
         "        print the version and exit\n"
         "Options may also be written --name=VALUE.\n"
         "\n"
         "Batch files:\n"
         "  The first row names the columns, in any order: mean_x, sd_x, mean_y, sd_y,\n"
         "  r, n, case_x and case_y are required; prior, limits, test and id are\n"
         "  optional, and other columns are ignored. Column names and option cells\n"
         "  may be in any case. An empty option cell takes the command line's option.\n"
         "  Cells are separated by commas; by semicolons when the first row has a\n"
         "  semicolon and no comma; by tabs when it has a tab and neither. Rows end\n"
         "  with LF, CR LF or CR; empty lines and lines of blanks are skipped; a\n"
         "  UTF-8 byte order mark is ignored. The file is read as UTF-8 (or as\n"
         "  --encoding says); with a UTF-16 byte order mark (\"Unicode text\") as\n"
         "  UTF-16; a file with NUL bytes and no such mark is refused. Bytes that are\n"
         "  not UTF-8 are said once on standard error, with their line, and written\n"
         "  as U+FFFD.\n"
         "  Decimal separator of the values: a semicolon-separated file has decimal\n"
         "  commas (as German or French spreadsheets write it), a comma-separated\n"
         "  file decimal points, a tab-separated file the one that its first r cell\n"
         "  with a point or comma shows; --batch-decimal-separator overrides all\n"
         "  three. A value cell that holds the other mark, which may separate\n"
         "  thousands (\"1,234\" in an English file), is refused with its column and\n"
         "  line, never read as another number: write numbers without thousands\n"
         "  separators.\n"
         "  How a cell is read:\n"
         "    - A cell that begins with a double quote (blanks before it ignored) is\n"
         "      quoted: it ends at the next double quote that is not doubled, may hold\n"
         "      commas, semicolons and line breaks, and \"\" in it stands for one\n"
         "      quote. Its text is taken exactly as it stands between the quotes,\n"
         "      blanks included; blanks after the closing quote are ignored.\n"
         "    - Any other cell is unquoted: the spaces (and tabs, unless tabs separate\n"
         "      the cells) at its start and end are removed, and it must hold no quote.\n"
         "    - The value cells, their decimal separator made a point, are then read\n"
         "      as the values on the command line are (see above): \" -5\" in quotes\n"
         "      is refused, -5 with blanks around it unquoted is -5, and 0,6 in a\n"
         "      semicolon file is 0.6.\n"
         "  A row that breaks these rules (a quote inside an unquoted cell, text after\n"
         "  a closing quote, a quote that is never closed), a row longer than 65536\n"
         "  bytes, and a row with another number of cells than the first row are each\n"
         "  reported in an output row of their own, with their line number; reading\n"
         "  goes on at the line after the one where the bad row began, so a bad row\n"
         "  never hides the rows after it.\n"
         "  Each row read gives one output row, written as soon as it is known, in\n"
         "  UTF-8, separated as the batch file is (or as --output-separator says):\n"
         "    id,prior,limits,test,z_x,z_y,one_tailed_p,two_tailed_p,pct_estimate,\n"
         "    pct_lower,pct_upper,zdcc,zdcc_lower,zdcc_upper,error,program_version,\n"
         "    draws\n"
         "  with the numbers at full precision (with decimal commas in a semicolon\n"
         "  output, and in a tab output when the batch file had them), or, for a row\n"
         "  that was refused or failed, empty numbers and the message in the error\n"
         "  column. The last two columns trace each row to what made it: the version\n"
         "  of quorrel-report and the number of posterior draws of its analysis\n"
         "  (empty for a row without numbers; the seeds are fixed). The id is the\n"
         "  row's id cell (for a row that cannot be read, the id read before its\n"
         "  fault, if any; of a row with another number of cells, only a first-column\n"
         "  id) or, without an id column, the row's number (1 for the first row after\n"
         "  the header; skipped lines are not counted). A text cell of the output\n"
         "  that begins with =, +,\n"
         "  -, @, a tab or a carriage return is written with an apostrophe before it\n"
         "  (\"'=A1\"), so that a spreadsheet shows it as text rather than running it\n"
         "  as a formula. A bad row never stops the others. Rows run one after\n"
         "  another; each analysis uses every processor the process may run on. At\n"
         "  the end of a batch, standard error has one line such as\n"
         "  \"19 rows: 4 done, 14 refused, 1 failed\".\n"
         "  Parts of a batch (--shard K/N): the rows after the header are cut into N\n"
         "  consecutive blocks as equal as can be; of R rows, part K holds the rows\n"
         "  floor((K-1)R/N)+1 to floor(KR/N), with their own ids and line numbers.\n"
         "  Each part writes the header and its rows, so the N parts joined in order,\n"
         "  the header line of every part but the first left off, are byte for byte\n"
         "  the output of the whole batch:\n"
         "    (cat part1.csv; for k in 2 3 4; do tail -n +2 part$k.csv; done) >all.csv\n"
         "\n"
         "Progress and interruption:\n"
         "  When standard error is a terminal, a batch shows there which row runs\n"
         "  (\"row 3 of 40 (line 4), about 2 min left\"; the count when the batch file\n"
         "  can be read twice, the time left after the first row), and an analysis\n"
         "  that lasts more than a second shows a progress line there (the count of\n"
         "  draws moves on every 4096 draws). Ctrl-C ends the program at once, with a\n"
         "  message and exit status 130, and SIGTERM (a scheduler ending a job) with\n"
         "  status 143; the batch rows finished before it have been written, and the\n"
         "  message says so.\n"
         "\n"
         "Exit status:\n"
         "  0   the report (or every batch row) was produced\n"
         "  1   an engine error ended the analysis (for example N = 3 with the\n"
         "      calibrated prior), or the analysis passed --max-seconds, or a batch\n"
         "      row ended with either, or the batch file could not be read, or the\n"
         "      output or the PDF file could not be written; a batch with rows that\n"
         "      failed and rows that were refused ends with 1\n"
         "  2   a value was refused (the message is printed on standard error), or a\n"
         "      batch row was refused or could not be read, or the batch file's first\n"
         "      row is unusable\n"
         "  64  the command line is wrong (the usage is printed)\n"
         "  130 Ctrl-C ended the program\n"
         "  143 SIGTERM ended the program\n"
         "Every message on standard error begins with \"quorrel-report: \".\n"
         "\n"
         "quorrel-report neither reads nor writes the worksheet's control-sample data\n"
         "file.\n";
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
