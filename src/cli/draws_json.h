// The summary of an analysis's posterior draws in quorrel-report's JSON, so
// that users of R or Python can draw the figure themselves.
#pragma once

#include <string>

#include "engines/draw_summary.h"

// The summary as one JSON object on a few lines, each continuation line
// indented by `indent`: "draws" (the number of draws counted), "low" and
// "bin_width" with 21 significant digits, "bins", "counts" (one number per
// bin, the first bin starting at low), "below" and "above" (the draws
// outside the bins).
std::string DrawSummaryJson(const tDrawSummary& draws, const std::string& indent);
