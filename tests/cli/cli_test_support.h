// Shared by the in-process and the end-to-end tests of quorrel-report: the
// example analysis run once through the driver, and checks of its outputs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/compute_driver.h"
#include "cli/csv_reader.h"
#include "cli/report_cli.h"
#include "mini_json.h"
#include "numeric/real.h"

// Tests of the flow rather than the numbers run short analyses.
inline constexpr int32_t kShortRun = 4096;

// The example case (controls 100/15 and 50/10, r .6, N 20; case 70 and 55),
// calibrated prior, two-sided, standardized, run through the driver.
inline tAnalysis RunExample(int32_t iterations) {
  tAnalysis_request request;
  request.mean_x = 100;
  request.sd_x = 15;
  request.mean_y = 50;
  request.sd_y = 10;
  request.r = 0.6;  // the double the reader gives for ".6", widened
  request.n = 20;
  request.case_x = 70;
  request.case_y = 55;
  request.iterations = iterations;
  return RunAnalysis(request);
}

// The example's full run of kIterations draws, made once.
inline const tAnalysis& ExampleAnalysis() {
  static const tAnalysis analysis = RunExample(kIterations);
  return analysis;
}

// The example's short run of kShortRun draws, made once: what the command
// line gives when its tests ask for short runs.
inline const tAnalysis& ShortExampleAnalysis() {
  static const tAnalysis analysis = RunExample(kShortRun);
  return analysis;
}

// The runtime of a test that asks for short runs.
inline tCliRuntime ShortRuntime() {
  tCliRuntime runtime;
  runtime.iterations = kShortRun;
  return runtime;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

// A JSON number read back as an 80-bit value.
inline tReal JsonLongDouble(const tJson& value) {
  EXPECT_EQ(value.kind, tJson::tKind::Number);
  return std::strtold(value.text.c_str(), nullptr);
}

// The object of --json for the example: every number must read back exactly.
inline void CheckExampleJson(const tJson& json, const tAnalysis& example) {
  const tAnalysis_request& q = example.request;
  EXPECT_EQ(JsonLongDouble(json["inputs"]["mean_x"]), q.mean_x);
  EXPECT_EQ(JsonLongDouble(json["inputs"]["sd_x"]), q.sd_x);
  EXPECT_EQ(JsonLongDouble(json["inputs"]["mean_y"]), q.mean_y);
  EXPECT_EQ(JsonLongDouble(json["inputs"]["sd_y"]), q.sd_y);
  EXPECT_EQ(JsonLongDouble(json["inputs"]["r"]), q.r);
  EXPECT_EQ(json["inputs"]["n"].text, "20");
  EXPECT_EQ(JsonLongDouble(json["inputs"]["case_x"]), q.case_x);
  EXPECT_EQ(JsonLongDouble(json["inputs"]["case_y"]), q.case_y);
  EXPECT_EQ(json["options"]["prior"].text, "calibrated");
  EXPECT_EQ(json["options"]["limits"].text, "two-sided");
  EXPECT_EQ(json["options"]["test"].text, "standardized");
  // The provenance: the program's version and the number of draws.
  EXPECT_EQ(json["program_version"].text, QUORREL_PROJECT_VERSION);
  EXPECT_EQ(json["draws"].text, std::to_string(q.iterations));
  EXPECT_EQ(JsonLongDouble(json["z_x"]), example.z_x);
  EXPECT_EQ(JsonLongDouble(json["z_y"]), example.z_y);
  const tJson& r = json["results"];
  EXPECT_EQ(JsonLongDouble(r["one_tailed_p"]), example.results.one_tailed_p);
  EXPECT_EQ(JsonLongDouble(r["two_tailed_p"]), example.results.two_tailed_p);
  EXPECT_EQ(JsonLongDouble(r["pct_estimate"]), example.results.pct_estimate);
  EXPECT_EQ(JsonLongDouble(r["pct_lower"]), example.results.pct_lower);
  EXPECT_EQ(JsonLongDouble(r["pct_upper"]), example.results.pct_upper);
  EXPECT_EQ(JsonLongDouble(r["zdcc"]), example.results.zdcc);
  EXPECT_EQ(JsonLongDouble(r["zdcc_lower"]), example.results.zdcc_lower);
  EXPECT_EQ(JsonLongDouble(r["zdcc_upper"]), example.results.zdcc_upper);
  // 21 significant digits: one before the point, twenty after.
  EXPECT_EQ(r["zdcc"].text.find('e'), 23u) << r["zdcc"].text;  // "-d." + 20 digits
}

// The rows of the program's CSV output, separated as its header is; a
// malformed one reads as {"?"}.
inline std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  tStringSource source(text);
  tCsvReader reader(source);
  std::vector<std::vector<std::string>> rows;
  tCsvRecord record;
  while (reader.Next(record))
    rows.push_back(record.Malformed() ? std::vector<std::string>{"?"} : record.cells);
  return rows;
}
