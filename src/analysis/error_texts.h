// What the user is told when an analysis fails after its inputs were
// accepted: what happened, in the program's own terms, and what to do.  What
// happened reads the same everywhere; what to do names the control of the
// front end that shows it, which hands its own words in.
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "analysis/compute_driver.h"

// The text of the error box for an error that ended the run of `request`
// (an error of the engine or of the numerical library).  Lines are broken
// with a carriage return; the text ends with a period.  Numbers in it are
// written with `decimal_separator`, the user's.  Errors the analysis does
// not know keep their own message.  `words` name the remedies.
std::string AnalysisErrorText(std::exception_ptr error, const tAnalysis_request& request,
                              char decimal_separator, const tRemedyWords& words = {});

// The input field (0 to 7) whose accepted value the run then refused, when
// the error is of that kind: a sample size too small for the calibrated
// prior (field 6).  The user sees it as a refused input, not as a failure.
std::optional<int> AnalysisRefusedField(std::exception_ptr error, const tAnalysis_request& request);

// An analysis that failed, carrying the text above and the original error.
class EAnalysisFailed : public Exception {
 public:
  EAnalysisFailed(std::exception_ptr cause, const tAnalysis_request& request,
                  char decimal_separator, const tRemedyWords& words = {})
      : Exception(AnalysisErrorText(cause, request, decimal_separator, words)),
        cause_(std::move(cause)),
        refused_field_(AnalysisRefusedField(cause_, request)) {}
  const std::exception_ptr& Cause() const noexcept { return cause_; }
  const std::optional<int>& RefusedField() const noexcept { return refused_field_; }

 private:
  std::exception_ptr cause_;
  std::optional<int> refused_field_;
};
