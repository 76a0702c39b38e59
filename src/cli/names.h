// The names quorrel-report gives the options of an analysis and its result
// columns.  The command line, the JSON object and the batch CSV files (their
// option cells, their header and their result rows) all take them from here.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "analysis/compute_driver.h"
#include "numeric/real.h"

// An option that names one of a few choices.
template <typename tChoice, std::size_t kCount>
struct tNamedOption {
  const char* name;  // the CSV column and JSON key; "--" before it on the command line
  std::array<std::pair<tChoice, const char*>, kCount> choices;  // in the order the help lists them

  const char* NameOf(tChoice choice) const {
    for (const auto& [value, text] : choices) {
      if (value == choice) return text;
    }
    return "";
  }
  // The choice named exactly `text`, if any.
  std::optional<tChoice> Find(const std::string& text) const {
    for (const auto& [value, choice_name] : choices) {
      if (text == choice_name) return value;
    }
    return std::nullopt;
  }
  // "<prefix><name> must be a, b or c, not "<text>"": the refusal of `text`.
  std::string Refusal(const std::string& prefix, const std::string& text) const {
    std::string names;
    for (std::size_t i = 0; i < kCount; ++i) {
      names += i == 0 ? "" : i + 1 == kCount ? " or " : ", ";
      names += choices[i].second;
    }
    return prefix + name + " must be " + names + ", not \"" + text + "\"";
  }
};

inline constexpr tNamedOption<tPrior, 2> kPriorOption{
    "prior", {{{tPrior::Calibrated, "calibrated"}, {tPrior::StandardTheory, "standard"}}}};
inline constexpr tNamedOption<tLimits, 3> kLimitsOption{"limits",
                                                        {{{tLimits::TwoSided, "two-sided"},
                                                          {tLimits::OneSidedLower, "lower"},
                                                          {tLimits::OneSidedUpper, "upper"}}}};
inline constexpr tNamedOption<tTestKind, 2> kTestOption{
    "test",
    {{{tTestKind::Standardized, "standardized"}, {tTestKind::Unstandardized, "unstandardized"}}}};

// The ten numbers of a finished analysis, in the order of the batch output's
// columns: the two z scores, then the eight results.  The JSON object holds
// the same names, the z scores at its top and the eight in "results".
struct tResultColumn {
  const char* name;
  tReal (*value)(const tAnalysis& analysis);
};
inline constexpr std::array<tResultColumn, 10> kResultColumns{{
    {"z_x", [](const tAnalysis& a) { return a.z_x; }},
    {"z_y", [](const tAnalysis& a) { return a.z_y; }},
    {"one_tailed_p", [](const tAnalysis& a) { return a.results.one_tailed_p; }},
    {"two_tailed_p", [](const tAnalysis& a) { return a.results.two_tailed_p; }},
    {"pct_estimate", [](const tAnalysis& a) { return a.results.pct_estimate; }},
    {"pct_lower", [](const tAnalysis& a) { return a.results.pct_lower; }},
    {"pct_upper", [](const tAnalysis& a) { return a.results.pct_upper; }},
    {"zdcc", [](const tAnalysis& a) { return a.results.zdcc; }},
    {"zdcc_lower", [](const tAnalysis& a) { return a.results.zdcc_lower; }},
    {"zdcc_upper", [](const tAnalysis& a) { return a.results.zdcc_upper; }},
}};
inline constexpr std::size_t kZScoreColumns = 2;  // z_x and z_y come first

// The provenance of a result, so that it can be traced to the program that
// made it: the program's version and the number of posterior draws (the
// seeds are fixed).  The last columns of the batch output, after the
// error (no earlier column moves), and keys of the JSON object.
inline constexpr const char* kVersionColumn = "program_version";
inline constexpr const char* kDrawsColumn = "draws";
