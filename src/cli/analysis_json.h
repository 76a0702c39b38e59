// quorrel-report's --json: a finished analysis as one JSON object, for
// scripts in R or Python.
#pragma once

#include <string>
#include <vector>

#include "analysis/compute_driver.h"

// The finished analysis as one JSON object: inputs, options, the z scores
// and the eight results with 21 significant digits, and the report lines.
std::string AnalysisJson(const tAnalysis& analysis, const std::vector<std::string>& report);
