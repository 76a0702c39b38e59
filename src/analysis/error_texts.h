// What the user is told when an analysis fails after its inputs were
// accepted: what happened, in the program's own terms, and what to do.  What
// happened reads the same everywhere; what to do names the control of the
// front end that shows it, which hands its own words in.
#pragma once

#include <exception>
#include <string>

#include "analysis/compute_driver.h"

// The text of the error box for an error that ended the run of `request`
// (an error of the engine or of the numerical library).  Lines are broken
// with a carriage return; the text ends with a period.  Numbers in it are
// written with `decimal_separator`, the user's.  Errors the analysis does
// not know keep their own message.  `words` name the remedies.
std::string AnalysisErrorText(std::exception_ptr error, const tAnalysis_request& request,
                              char decimal_separator, const tRemedyWords& words = {});

// An analysis that failed, carrying the text above and the original error.
class EAnalysisFailed : public Exception {
 public:
  EAnalysisFailed(std::exception_ptr cause, const tAnalysis_request& request,
                  char decimal_separator, const tRemedyWords& words = {})
      : Exception(AnalysisErrorText(cause, request, decimal_separator, words)),
        cause_(std::move(cause)) {}
  const std::exception_ptr& Cause() const noexcept { return cause_; }

 private:
  std::exception_ptr cause_;
};
