// quorrel-report: one analysis (or a CSV file of them) from the command line,
// through the same reading, checking, engines and report as the worksheet.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/compute_driver.h"

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitEngineError = 1;  // an engine (or file) error ended a run
inline constexpr int kExitRefused = 2;      // an input value was refused
inline constexpr int kExitUsage = 64;       // the command line itself is wrong

// The options of one invocation, as given on the command line.
struct tCliOptions {
  std::optional<tPrior> prior;  // unset: calibrated, or standard theory for the unstandardized test
  tLimits limits = tLimits::TwoSided;
  tTestKind test = tTestKind::Standardized;
  std::vector<std::string> notes;
  bool json = false;
  bool help = false;
  bool version = false;
  std::optional<std::string> batch_file;
  std::optional<char> decimal_separator;
  std::vector<std::string> values;  // the eight value texts, in field order
};

// Parses the arguments (without the program name).  On a usage error returns
// false with `problem` set.
bool ParseCommandLine(const std::vector<std::string>& args, tCliOptions& options,
                      std::string& problem);

// The prior an analysis runs with: the unstandardized test always runs with
// the standard-theory prior.  Returns false (with `problem`) when an explicit
// calibrated prior is combined with the unstandardized test.
bool ResolvePrior(std::optional<tPrior> prior, tTestKind test, tPrior& resolved,
                  std::string& problem);

// The names used on the command line, in the JSON object and in CSV files.
const char* PriorName(tPrior prior);
const char* LimitsName(tLimits limits);
const char* TestName(tTestKind test);
std::optional<tPrior> PriorFromName(const std::string& name);
std::optional<tLimits> LimitsFromName(const std::string& name);
std::optional<tTestKind> TestFromName(const std::string& name);

// A message of the program's own with each carriage return as a line break.
std::string MessageLines(const std::string& message);

// The finished analysis as one JSON object: inputs, options, the z scores
// and the eight results with 21 significant digits, and the report lines.
std::string AnalysisJson(const tAnalysis& analysis, const std::vector<std::string>& report);

// The usage summary and the full help text.
std::string UsageText();
std::string HelpText();

// The whole program: parses `args`, runs, writes to `out` and `err`, and
// returns the exit status.  `default_separator` is the decimal separator of
// the user's locale, used unless --decimal-separator says otherwise.
int RunQuorrelReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     char default_separator = '.');

// The decimal separator of the environment's locale (LC_ALL, LC_NUMERIC, LANG).
char EnvironmentDecimalSeparator();
