#include "cli/draws_json.h"

#include "analysis/text_format.h"

std::string DrawSummaryJson(const tDrawSummary& draws, const std::string& indent) {
  std::string json = "{\n";
  json += indent + "  \"draws\": " + std::to_string(draws.Total()) + ",\n";
  json += indent + "  \"low\": " + FormatFullPrecision(draws.low) + ",\n";
  json += indent + "  \"bin_width\": " + FormatFullPrecision(draws.bin_width) + ",\n";
  json += indent + "  \"bins\": " + std::to_string(draws.counts.size()) + ",\n";
  json += indent + "  \"counts\": [";
  for (std::size_t k = 0; k < draws.counts.size(); ++k)
    json += (k == 0 ? "" : ", ") + std::to_string(draws.counts[k]);
  json += "],\n";
  json += indent + "  \"below\": " + std::to_string(draws.below) + ",\n";
  json += indent + "  \"above\": " + std::to_string(draws.above) + "\n";
  json += indent + "}";
  return json;
}
