#include "cli/analysis_json.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "analysis/text_format.h"
#include "analysis/version.h"
#include "cli/draws_json.h"
#include "cli/names.h"
#include "cli/text_encoding.h"

namespace {

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

}  // namespace

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
