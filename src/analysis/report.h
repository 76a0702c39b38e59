// The plain-text report of one finished analysis, line by line.
#pragma once

#include <string>
#include <vector>

#include "analysis/compute_driver.h"

// The program's title, which heads every report and names the windows; set
// once at start-up.
extern std::string ProgramTitle;  // "Quorrel.EXE: Bayesian inferential methods ..."

// The title that start-up puts into ProgramTitle.
extern const char* const kProgramTitle;

// How many decimals a percentage of the control population gets in the
// report: three with two-sided limits, four with a one-sided limit.  The
// figure repeats the percentages as the report prints them.
int PercentDecimals(tLimits limits);

// The report's lines in order (no line-break characters).  `viewer_holds_text`
// adds the 96-underscore separator first; `decimal_separator` is the user's.
std::vector<std::string> BuildReport(bool viewer_holds_text, const std::string& program_title,
                                     const tAnalysis& analysis, char decimal_separator);
