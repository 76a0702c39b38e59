#include "cli/report_cli.h"

#include <sys/stat.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "analysis/data_file.h"
#include "analysis/report.h"
#include "analysis/text_format.h"
#include "analysis/version.h"
#include "cli/batch.h"
#include "numeric/errors.h"

namespace {

// Sends the input checks' warnings to the error stream; the beep is dropped.
class tStreamMessages : public tMessageSink {
 public:
  explicit tStreamMessages(std::ostream& err) : err_(err) {}
  void ShowWarning(const std::string& text) override { err_ << MessageLines(text) << '\n'; }
  void Beep() override {}

 private:
  std::ostream& err_;
};

bool IsNegativeNumber(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '-' && ((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.');
}

// A JSON string literal; invalid UTF-8 bytes become U+FFFD.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += FormatInCLocale("\\u%04x", c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      int length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
      bool valid = length > 0 && i + length <= text.size();
      for (int k = 1; valid && k < length; ++k) {
        valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      }
      if (valid) {
        out.append(text, i, length);
        i += length - 1;
      } else {
        out += "\\ufffd";
      }
    }
  }
  return out + "\"";
}

std::string JsonNumber(long double value) {
  if (std::isnan(value) || std::isinf(value)) return "null";
  return FormatFullPrecision(value);
}

// Notes given on the command line: each line of each text is one notes line.
void AddNotes(const std::string& text, std::vector<std::string>& notes) {
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    notes.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

// The whole content of the batch file ("-": standard input).  False, with
// the reason in `problem`, when it cannot be opened or read, or is a folder.
bool ReadBatchFile(const std::string& name, std::string& text, std::string& problem) {
  std::FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rbe");
  int err = file == nullptr ? errno : 0;
  if (err == 0) {
    struct stat info {};
    if (::fstat(::fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) err = EISDIR;
  }
  char buffer[65536];
  while (err == 0) {
    std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    text.append(buffer, got);
    if (got < sizeof buffer) {
      if (std::ferror(file)) err = errno != 0 ? errno : EIO;
      break;
    }
  }
  if (file != nullptr && file != stdin) std::fclose(file);
  if (err != 0) problem = "cannot read " + name + ": " + std::strerror(err);
  return err == 0;
}

// After everything was written: a standard output that could not take it
// (a full disk, a closed pipe) is a failure, never a success.
int CheckWritten(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  err << "quorrel-report: cannot write the output\n";
  return kExitEngineError;
}

int UsageError(std::ostream& err, const std::string& problem) {
  err << "quorrel-report: " << problem << "\n\n" << UsageText();
  return kExitUsage;
}

}  // namespace

const char* PriorName(tPrior prior) {
  return prior == tPrior::Calibrated ? "calibrated" : "standard";
}
const char* LimitsName(tLimits limits) {
  switch (limits) {
    case tLimits::TwoSided:
      return "two-sided";
    case tLimits::OneSidedLower:
      return "lower";
    case tLimits::OneSidedUpper:
      return "upper";
  }
  return "";
}
const char* TestName(tTestKind test) {
  return test == tTestKind::Standardized ? "standardized" : "unstandardized";
}
std::optional<tPrior> PriorFromName(const std::string& name) {
  if (name == "calibrated") return tPrior::Calibrated;
  if (name == "standard") return tPrior::StandardTheory;
  return std::nullopt;
}
std::optional<tLimits> LimitsFromName(const std::string& name) {
  if (name == "two-sided") return tLimits::TwoSided;
  if (name == "lower") return tLimits::OneSidedLower;
  if (name == "upper") return tLimits::OneSidedUpper;
  return std::nullopt;
}
std::optional<tTestKind> TestFromName(const std::string& name) {
  if (name == "standardized") return tTestKind::Standardized;
  if (name == "unstandardized") return tTestKind::Unstandardized;
  return std::nullopt;
}

std::string MessageLines(const std::string& message) {
  std::string lines = message;
  for (char& c : lines) {
    if (c == '\r') c = '\n';
  }
  return lines;
}

bool ParseCommandLine(const std::vector<std::string>& args, tCliOptions& options,
                      std::string& problem) {
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options_ended || arg == "-" || IsNegativeNumber(arg) || arg.empty() || arg[0] != '-') {
      options.values.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (arg == "--json") {
      options.json = true;
      continue;
    }
    // The options with a value, as "--name VALUE" or "--name=VALUE".
    std::string name = arg;
    std::optional<std::string> value;
    if (std::size_t equals = arg.find('=');
        arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    const bool takes_value = name == "--prior" || name == "--limits" || name == "--test" ||
                             name == "--notes" || name == "--batch" ||
                             name == "--decimal-separator";
    if (!takes_value) {
      problem = "unknown option " + arg;
      return false;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        problem = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (name == "--prior") {
      options.prior = PriorFromName(*value);
      if (!options.prior) {
        problem = "--prior must be calibrated or standard, not \"" + *value + "\"";
        return false;
      }
    } else if (name == "--limits") {
      auto limits = LimitsFromName(*value);
      if (!limits) {
        problem = "--limits must be two-sided, lower or upper, not \"" + *value + "\"";
        return false;
      }
      options.limits = *limits;
    } else if (name == "--test") {
      auto test = TestFromName(*value);
      if (!test) {
        problem = "--test must be standardized or unstandardized, not \"" + *value + "\"";
        return false;
      }
      options.test = *test;
    } else if (name == "--notes") {
      AddNotes(*value, options.notes);
    } else if (name == "--batch") {
      options.batch_file = *value;
    } else {
      if (*value != "." && *value != ",") {
        problem = "--decimal-separator must be \".\" or \",\", not \"" + *value + "\"";
        return false;
      }
      options.decimal_separator = (*value)[0];
    }
  }
  if (options.help || options.version) return true;
  if (options.batch_file) {
    if (!options.values.empty()) {
      problem = "--batch takes its values from the file; give no values on the command line";
      return false;
    }
    if (options.json) {
      problem = "--json and --batch cannot be combined; --batch writes CSV";
      return false;
    }
    if (!options.notes.empty()) {
      problem = "--notes cannot be combined with --batch";
      return false;
    }
  } else if (options.values.size() != 8) {
    problem = "expected 8 values (MEAN_X SD_X MEAN_Y SD_Y R N CASE_X CASE_Y), got " +
              std::to_string(options.values.size());
    return false;
  }
  tPrior resolved;
  return ResolvePrior(options.prior, options.test, resolved, problem);
}

bool ResolvePrior(std::optional<tPrior> prior, tTestKind test, tPrior& resolved,
                  std::string& problem) {
  if (test == tTestKind::Unstandardized) {
    if (prior == tPrior::Calibrated) {
      problem =
          "the unstandardized test always runs with the standard-theory prior; "
          "--prior calibrated cannot be combined with --test unstandardized";
      return false;
    }
    resolved = tPrior::StandardTheory;
    return true;
  }
  resolved = prior.value_or(tPrior::Calibrated);
  return true;
}

std::string AnalysisJson(const tAnalysis& analysis, const std::vector<std::string>& report) {
  const tAnalysis_request& q = analysis.request;
  const tEngine_results& r = analysis.results;
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
  json << "    \"prior\": " << JsonString(PriorName(q.prior)) << ",\n";
  json << "    \"limits\": " << JsonString(LimitsName(q.limits)) << ",\n";
  json << "    \"test\": " << JsonString(TestName(q.test)) << ",\n";
  json << "    \"iterations\": " << kIterations << ",\n";
  json << "    \"credibility_percent\": " << kConfidencePercent << ",\n";
  json << "    \"notes\": [";
  for (std::size_t i = 0; i < q.notes.size(); ++i) {
    json << (i == 0 ? "" : ", ") << JsonString(q.notes[i]);
  }
  json << "]\n";
  json << "  },\n";
  json << "  \"z_x\": " << JsonNumber(analysis.z_x) << ",\n";
  json << "  \"z_y\": " << JsonNumber(analysis.z_y) << ",\n";
  json << "  \"results\": {\n";
  json << "    \"one_tailed_p\": " << JsonNumber(r.one_tailed_p) << ",\n";
  json << "    \"two_tailed_p\": " << JsonNumber(r.two_tailed_p) << ",\n";
  json << "    \"pct_estimate\": " << JsonNumber(r.pct_estimate) << ",\n";
  json << "    \"pct_lower\": " << JsonNumber(r.pct_lower) << ",\n";
  json << "    \"pct_upper\": " << JsonNumber(r.pct_upper) << ",\n";
  json << "    \"zdcc\": " << JsonNumber(r.zdcc) << ",\n";
  json << "    \"zdcc_lower\": " << JsonNumber(r.zdcc_lower) << ",\n";
  json << "    \"zdcc_upper\": " << JsonNumber(r.zdcc_upper) << "\n";
  json << "  },\n";
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
         "Each value is read as the worksheet reads its fields: digits, at most one\n"
         "decimal point \".\", a leading minus sign, blanks ignored; no exponents, no\n"
         "commas, no plus sign. The fields' six-character limit does not apply.\n"
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
         "        lines (a line break in TEXT also starts a new line)\n"
         "  --json\n"
         "        print one JSON object instead of the report: the inputs and options,\n"
         "        the z scores and the eight results as numbers with 21 significant\n"
         "        digits, and the report's lines as an array of strings\n"
         "  --batch FILE.csv\n"
         "        run one case per row of a CSV file (\"-\" reads standard input) and\n"
         "        print the results as CSV (see below)\n"
         "  --decimal-separator .|,\n"
         "        the decimal separator of the report's numbers and of the numbers in\n"
         "        messages (default: that of the locale in LC_ALL, LC_NUMERIC or LANG);\n"
         "        JSON and CSV numbers always use \".\"\n"
         "  --help, -h\n"
         "        print this text and exit\n"
         "  --version\n"
         "        print the version and exit\n"
         "Options may also be written --name=VALUE.\n"
         "\n"
         "Batch files:\n"
         "  The first row names the columns, in any order: mean_x, sd_x, mean_y, sd_y,\n"
         "  r, n, case_x and case_y are required; prior, limits, test and id are\n"
         "  optional, and other columns are ignored. Fields are separated by commas\n"
         "  (or by semicolons when the header has no comma) and may be quoted with\n"
         "  double quotes. An empty option cell takes the command line's option.\n"
         "  Each case gives one output row:\n"
         "    id,prior,limits,test,z_x,z_y,one_tailed_p,two_tailed_p,pct_estimate,\n"
         "    pct_lower,pct_upper,zdcc,zdcc_lower,zdcc_upper,error\n"
         "  with the numbers at full precision, or, for a row that was refused or\n"
         "  failed, empty numbers and the message in the error column. The id is the\n"
         "  row's id cell, or the row's number (1 for the first case) without an id\n"
         "  column. A bad row never stops the others.\n"
         "\n"
         "Exit status:\n"
         "  0   the report (or every batch row) was produced\n"
         "  1   an engine error ended the analysis (for example N = 3 with the\n"
         "      calibrated prior), or a batch row ended with one, or the batch file\n"
         "      could not be read, or the output could not be written\n"
         "  2   a value was refused (the message is printed on standard error), or a\n"
         "      batch row was refused, or the batch file's header lacks a column\n"
         "  64  the command line is wrong (the usage is printed)\n"
         "\n"
         "quorrel-report neither reads nor writes the worksheet's control-sample data\n"
         "file.\n";
}

int RunQuorrelReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     char default_separator) {
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

  if (options.batch_file) {
    std::string text;
    if (!ReadBatchFile(*options.batch_file, text, problem)) {
      err << "quorrel-report: " << problem << "\n";
      return kExitEngineError;
    }
    return CheckWritten(out, err, RunBatch(text, options, separator, out, err));
  }

  tWorksheetEntry entry;
  for (int i = 0; i < 8; ++i)
    entry.texts[i] = options.values[i];
  entry.test = options.test;
  ResolvePrior(options.prior, options.test, entry.prior, problem);
  entry.limits = options.limits;
  entry.notes = options.notes;

  tAnalysis analysis;
  try {
    tStreamMessages messages(err);
    tAnalysis_request request;
    if (ReadEntry(entry, messages, request, separator) >= 0) return kExitRefused;
    analysis = RunAnalysis(request);
  } catch (const std::exception& e) {
    err << ErrorBoxText(e.what()) << "\n";
    return kExitEngineError;
  }
  std::vector<std::string> report = BuildReport(false, ProgramTitle, analysis, separator);
  if (options.json) {
    out << AnalysisJson(analysis, report);
  } else {
    for (const std::string& line : report)
      out << line << '\n';
  }
  return CheckWritten(out, err, kExitSuccess);
}

char EnvironmentDecimalSeparator() {
  // Only the numeric category is taken from the environment, and only to
  // learn its separator; the program's own formatting never depends on it.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous != nullptr ? previous : "C";
  char separator = '.';
  if (std::setlocale(LC_NUMERIC, "") != nullptr) {
    const char* point = std::localeconv()->decimal_point;
    if (point != nullptr && (point[0] == ',' || point[0] == '.') && point[1] == '\0') {
      separator = point[0];
    }
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  return separator;
}
