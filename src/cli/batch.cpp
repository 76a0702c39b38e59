#include "cli/batch.h"

#include <algorithm>
#include <array>
#include <map>
#include <ostream>

#include "analysis/text_format.h"
#include "numeric/errors.h"

namespace {

// The value columns, in field order.
constexpr std::array<const char*, 8> kValueColumns = {"mean_x", "sd_x", "mean_y", "sd_y",
                                                      "r",      "n",    "case_x", "case_y"};

const char* const kOutputHeader =
    "id,prior,limits,test,z_x,z_y,one_tailed_p,two_tailed_p,pct_estimate,pct_lower,pct_upper,"
    "zdcc,zdcc_lower,zdcc_upper,error";
constexpr int kResultColumns = 10;  // z_x ... zdcc_upper

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  std::size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A message on one line: each run of carriage returns becomes one space.
std::string OneLine(const std::string& message) {
  std::string line;
  for (char c : message) {
    if (c == '\r' || c == '\n') {
      if (!line.empty() && line.back() != ' ') line.push_back(' ');
    } else {
      line.push_back(c);
    }
  }
  return line;
}

// Collects the warnings of one row's checks.
class tCollectedMessages : public tMessageSink {
 public:
  std::string text;
  void ShowWarning(const std::string& warning) override {
    if (!text.empty()) text += ' ';
    text += OneLine(warning);
  }
  void Beep() override {}
};

struct tRowOutcome {
  std::string id, prior, limits, test;
  std::vector<std::string> numbers;  // empty unless the row ran
  std::string error;
};

void WriteRow(std::ostream& out, const tRowOutcome& row) {
  out << CsvField(row.id) << ',' << CsvField(row.prior) << ',' << CsvField(row.limits) << ','
      << CsvField(row.test);
  for (int i = 0; i < kResultColumns; ++i) {
    out << ',';
    if (static_cast<std::size_t>(i) < row.numbers.size()) out << row.numbers[i];
  }
  out << ',' << CsvField(row.error) << '\n';
}

}  // namespace

std::vector<tCsvRow> ParseCsv(const std::string& text, char delimiter) {
  std::vector<tCsvRow> rows;
  tCsvRow row;
  std::string field;
  bool quoted = false;
  bool field_started = false;  // the record has content (so it is not a blank line)
  std::size_t i = 0;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) i = 3;  // byte order mark
  auto end_record = [&]() {
    if (field_started || !row.empty()) {
      row.push_back(field);
      rows.push_back(row);
    }
    row.clear();
    field.clear();
    field_started = false;
  };
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field.push_back('"');
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field.push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
      field_started = true;
    } else if (c == delimiter) {
      row.push_back(field);
      field.clear();
      field_started = true;
    } else if (c == '\n') {
      end_record();
    } else if (c == '\r') {
      // CR LF: the LF ends the record; a CR alone (older spreadsheets) ends it itself.
      if (i + 1 >= text.size() || text[i + 1] != '\n') end_record();
    } else {
      field.push_back(c);
      if (c != ' ' && c != '\t') field_started = true;
    }
  }
  end_record();
  return rows;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",;\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

int RunBatch(const std::string& csv_text, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err) {
  std::size_t header_end = csv_text.find_first_of("\r\n");
  std::string header_line = csv_text.substr(0, header_end);
  char delimiter =
      header_line.find(',') == std::string::npos && header_line.find(';') != std::string::npos
          ? ';'
          : ',';
  std::vector<tCsvRow> rows = ParseCsv(csv_text, delimiter);
  if (rows.empty()) {
    err << "quorrel-report: the batch file is empty; its first row must name the columns\n";
    return kExitRefused;
  }

  // Where each named column stands.
  std::map<std::string, std::size_t> columns;
  for (std::size_t c = 0; c < rows[0].size(); ++c) {
    std::string name = Lower(Trim(rows[0][c]));
    if (name.empty()) continue;
    if (!columns.emplace(name, c).second) {
      err << "quorrel-report: the batch file names the column " << name << " twice\n";
      return kExitRefused;
    }
  }
  std::string missing;
  for (const char* name : kValueColumns) {
    if (columns.count(name) == 0) missing += (missing.empty() ? "" : ", ") + std::string(name);
  }
  if (!missing.empty()) {
    err << "quorrel-report: the batch file's header lacks the column(s) " << missing << "\n";
    return kExitRefused;
  }

  out << kOutputHeader << '\n';
  bool any_refused = false;
  bool any_failed = false;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const tCsvRow& cells = rows[r];
    auto cell = [&](const std::string& name) -> std::optional<std::string> {
      auto found = columns.find(name);
      if (found == columns.end() || found->second >= cells.size()) return std::nullopt;
      return cells[found->second];
    };

    tRowOutcome outcome;
    outcome.id = columns.count("id") ? cell("id").value_or("") : std::to_string(r);
    tWorksheetEntry entry;
    entry.limits = options.limits;
    entry.test = options.test;
    std::optional<tPrior> prior = options.prior;
    std::string problem;

    if (cells.size() != rows[0].size()) {
      problem = "the row has " + std::to_string(cells.size()) + " fields, the header " +
                std::to_string(rows[0].size());
    }
    if (auto text = cell("limits"); problem.empty() && text && !Trim(*text).empty()) {
      if (auto limits = LimitsFromName(Lower(Trim(*text)))) {
        entry.limits = *limits;
      } else {
        problem = "limits must be two-sided, lower or upper, not \"" + *text + "\"";
        outcome.limits = *text;
      }
    }
    if (auto text = cell("test"); problem.empty() && text && !Trim(*text).empty()) {
      if (auto test = TestFromName(Lower(Trim(*text)))) {
        entry.test = *test;
      } else {
        problem = "test must be standardized or unstandardized, not \"" + *text + "\"";
        outcome.test = *text;
      }
    }
    if (auto text = cell("prior"); problem.empty() && text && !Trim(*text).empty()) {
      prior = PriorFromName(Lower(Trim(*text)));
      if (!prior) {
        problem = "prior must be calibrated or standard, not \"" + *text + "\"";
        outcome.prior = *text;
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
      any_refused = true;
      WriteRow(out, outcome);
      continue;
    }

    for (int f = 0; f < 8; ++f)
      entry.texts[f] = Trim(cell(kValueColumns[f]).value_or(""));
    try {
      tCollectedMessages messages;
      tAnalysis_request request;
      if (ReadEntry(entry, messages, request, decimal_separator) >= 0) {
        outcome.error = messages.text;
        any_refused = true;
      } else {
        tAnalysis analysis = RunAnalysis(request);
        const tEngine_results& res = analysis.results;
        for (long double value :
             {analysis.z_x, analysis.z_y, res.one_tailed_p, res.two_tailed_p, res.pct_estimate,
              res.pct_lower, res.pct_upper, res.zdcc, res.zdcc_lower, res.zdcc_upper}) {
          outcome.numbers.push_back(FormatFullPrecision(value));
        }
      }
    } catch (const std::exception& e) {
      outcome.error = OneLine(ErrorBoxText(e.what()));
      any_failed = true;
    }
    WriteRow(out, outcome);
    out.flush();
    // Output that can no longer be written: the remaining rows would run
    // for nothing.  The caller reports the failure.
    if (!out) return kExitEngineError;
  }
  if (any_failed) return kExitEngineError;
  if (any_refused) return kExitRefused;
  return kExitSuccess;
}
