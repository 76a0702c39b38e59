// The summary of the posterior draws in quorrel-report's JSON: the counts of
// the example's draws (a short run), read back exactly, around the report's
// limits.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/report_cli.h"
#include "cli_test_support.h"
#include "mini_json.h"

namespace {

TEST(JsonDrawSummary, CarriesTheRunsCountsAroundTheLimits) {
  const tAnalysis& example = ShortExampleAnalysis();
  std::ostringstream out, err;
  ASSERT_EQ(RunQuorrelReport({"--json", "100", "15", "50", "10", ".6", "20", "70", "55"}, out, err,
                             '.', ShortRuntime()),
            0)
      << err.str();
  const tJson json = tJsonReader(out.str()).ReadDocument();
  const tJson& s = json["draws_summary"];
  const tDrawSummary& d = example.draws;
  ASSERT_FALSE(d.Empty());
  EXPECT_EQ(s["draws"].text, std::to_string(kShortRun));
  EXPECT_EQ(JsonLongDouble(s["low"]), d.low);
  EXPECT_EQ(JsonLongDouble(s["bin_width"]), d.bin_width);
  EXPECT_EQ(s["bins"].text, std::to_string(d.counts.size()));
  ASSERT_EQ(s["counts"].items.size(), d.counts.size());
  long total = std::stol(s["below"].text) + std::stol(s["above"].text);
  for (std::size_t k = 0; k < d.counts.size(); ++k) {
    EXPECT_EQ(s["counts"].items[k].text, std::to_string(d.counts[k])) << k;
    total += std::stol(s["counts"].items[k].text);
  }
  EXPECT_EQ(total, kShortRun);
  // The range holds the credible interval of the same object's results.
  const tReal low = JsonLongDouble(s["low"]);
  const tReal high = low + JsonLongDouble(s["bin_width"]) * d.counts.size();
  EXPECT_LT(low, JsonLongDouble(json["results"]["zdcc_lower"]));
  EXPECT_GT(high, JsonLongDouble(json["results"]["zdcc_upper"]));
}

}  // namespace
