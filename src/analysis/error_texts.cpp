#include "analysis/error_texts.h"

#include <new>
#include <system_error>

#include "analysis/platform_interfaces.h"
#include "numeric/distrib.h"
#include "numeric/errors.h"

namespace {

// The index of the sample-size field.
constexpr int kSampleSizeField = 5;

// True for the error of a sample too small for the request's prior: the
// chi-square distributions of the calibrated prior have n - 2 and n - 3
// degrees of freedom, which must be positive; those of the standard-theory
// prior are positive for every sample the checks accept.
bool SampleTooSmallForPrior(const Exception& e, const tAnalysis_request& request) {
  const auto* argument = dynamic_cast<const EArgumentError*>(&e);
  if (argument == nullptr || (argument->Id() != 1301 && argument->Id() != 1302)) return false;
  switch (request.options.Prior()) {
    case tPrior::Calibrated:
      return request.n < 4;
    case tPrior::StandardTheory:
      return false;
  }
  return false;
}

// What to try when a covariance matrix drawn under the request's prior could
// not be inverted: a larger sample, or a prior that is less sensitive to it.
std::string DrawnMatrixRemedy(tPrior prior, const tRemedyWords& words) {
  switch (prior) {
    case tPrior::Calibrated:
      return "Try again with a larger control sample, or " + words.use_standard_theory + ".";
    case tPrior::StandardTheory:
      break;
  }
  return "Try again with a larger control sample.";
}

std::string NotEnoughMemory(const tRemedyWords& words) {
  return "There is not enough memory for the analysis.\rClose other programs and " +
         words.run_again + ".";
}

std::string Text(const Exception& e, const tAnalysis_request& request, char decimal_separator,
                 const tRemedyWords& words) {
  if (const auto* argument = dynamic_cast<const EArgumentError*>(&e)) {
    switch (argument->Id()) {
      case 1301:
      case 1302:
        // Before any draw: the chi-square distributions of the prior need
        // positive degrees of freedom, which the calibrated prior only has
        // from a sample of 4 on.
        if (SampleTooSmallForPrior(e, request))
          return "The calibrated prior needs a control sample of at least 4.\r"
                 "For a smaller sample, " +
                 words.use_standard_theory + ".";
        break;
      case 1313:
      case 1314:
      case 1361:
        return "The case's difference lies so far from the controls' differences (65,536 "
               "standard deviations or more) that its probability cannot be computed.\r"
               "Check the case's scores and the control sample's means and standard "
               "deviations.";
      default:
        break;
    }
    return "The analysis could not be completed: " +
           ErrorBoxText(ArgumentErrorMessage(*argument, decimal_separator)) + "\rCheck the inputs.";
  }
  if (dynamic_cast<const EDrawnMatrixSingular*>(&e) != nullptr) {
    return std::string(
               "The analysis could not be completed: with a correlation this close to 1 or -1 "
               "and a sample of this size, a covariance matrix drawn in the simulation could "
               "not be inverted. The control sample's own statistics are valid.\r") +
           DrawnMatrixRemedy(request.options.Prior(), words);
  }
  if (dynamic_cast<const ESingularMatrix*>(&e) != nullptr)
    return "The covariance matrix of the control sample cannot be inverted: the correlation "
           "is too close to 1 or -1 for the standard deviations given.\r"
           "Check the correlation and the standard deviations.";
  if (dynamic_cast<const ERunStopped*>(&e) != nullptr) return ErrorBoxText(e.Message());
  if (dynamic_cast<const EMathError*>(&e) != nullptr)
    return "The analysis could not be completed: a number in the computation went out of "
           "range (" +
           e.Message() +
           ").\rCheck the inputs; very large or very small means, standard deviations or "
           "scores can cause this.";
  return ErrorBoxText(e.Message());
}

}  // namespace

std::string AnalysisErrorText(std::exception_ptr error, const tAnalysis_request& request,
                              char decimal_separator, const tRemedyWords& words) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const Exception& e) {
    return Text(e, request, decimal_separator, words);
  } catch (const std::bad_alloc&) {
    return NotEnoughMemory(words);
  } catch (const std::system_error& e) {
    // A thread of the run that the system could not start (too little
    // memory for its stack) is a shortage of memory, not a fault.
    if (e.code() == std::errc::resource_unavailable_try_again) return NotEnoughMemory(words);
    return ErrorBoxText(e.what());
  } catch (const std::exception& e) {
    return ErrorBoxText(e.what());
  } catch (...) {
  }
  return ErrorBoxText("Unexpected error");
}

std::optional<int> AnalysisRefusedField(std::exception_ptr error,
                                        const tAnalysis_request& request) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const Exception& e) {
    if (SampleTooSmallForPrior(e, request)) return kSampleSizeField;
  } catch (...) {
  }
  return std::nullopt;
}
