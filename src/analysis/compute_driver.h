// One analysis from the worksheet's field texts to the finished numbers:
// read and check the fields, save the control data, run the engine of the
// chosen prior, compute the z scores.  Touches no window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/platform_interfaces.h"
#include "engines/Bayes_Engines.h"

enum class tPrior { Calibrated, StandardTheory };
enum class tLimits { TwoSided, OneSidedLower, OneSidedUpper };

// Fixed settings of every analysis.
inline constexpr int32_t kIterations = 1000000;
inline constexpr int32_t kConfidencePercent = 95;

// One analysis as the user asked for it.
struct tAnalysis_request {
  long double mean_x = 0;
  long double sd_x = 0;
  long double mean_y = 0;
  long double sd_y = 0;
  long double r = 0;
  int32_t n = 0;
  long double case_x = 0;
  long double case_y = 0;
  tTestKind test = tTestKind::Standardized;
  tPrior prior = tPrior::Calibrated;
  tLimits limits = tLimits::TwoSided;
  std::vector<std::string> notes;
  // The number of posterior draws.  Always kIterations in the program; tests
  // that check the flow rather than the numbers ask for short runs.
  int32_t iterations = kIterations;
};

// A finished analysis: the request, the case's z scores and the results,
// with the summary of the posterior draws for a figure.
struct tAnalysis {
  tAnalysis_request request;
  long double z_x = 0;
  long double z_y = 0;
  tEngine_results results;
  tDrawSummary draws;
};

// The captions of the eight input labels, field 1 first.
extern const std::array<const char*, 8> FieldCaptions;

// Runs the engine of the request's prior and computes the z scores.  Throws
// what the engine throws; the request must have passed every check.
// `control`, when given, lets another thread follow the run and stop it.
tAnalysis RunAnalysis(const tAnalysis_request& request, tRunControl* control = nullptr);

// What the worksheet hands to Compute: the eight field texts as they stand,
// the three options and the notes lines.
struct tWorksheetEntry {
  std::array<std::string, 8> texts;
  tTestKind test = tTestKind::Standardized;
  tPrior prior = tPrior::Calibrated;
  tLimits limits = tLimits::TwoSided;
  std::vector<std::string> notes;
};

// The outcome of Compute: either the index (0 to 7) of the first field that
// was refused (its message already shown), or the finished analysis.
struct tComputeOutcome {
  int refused_field = -1;
  tAnalysis analysis;
  bool Refused() const { return refused_field >= 0; }
};

// Step 1 of Compute on its own: reads and checks the eight texts in field
// order with their captions (first refusal wins, later fields unread).
// Returns -1 and fills the request's numbers and options when every field
// passes, otherwise the index (0 to 7) of the refused field, whose message
// has been shown.  Nothing is saved.
int ReadEntry(const tWorksheetEntry& entry, tMessageSink& messages, tAnalysis_request& request,
              char decimal_separator = '.');

// The headless steps of Compute, in order: read and check the fields (first
// refusal wins, later fields unread), SaveCurrentData into `data_folder`,
// busy pointer, engine, normal pointer (also when the engine fails), z scores.
// Errors of the data file and of the engine propagate to the caller.
tComputeOutcome ComputeAnalysis(const tWorksheetEntry& entry, const std::string& data_folder,
                                tUserDialogs& dialogs, char decimal_separator = '.');
