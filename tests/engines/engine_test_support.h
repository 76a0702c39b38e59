// Helpers shared by the engine tests: one engine call from a compact case
// description, and a comparison of all eight results in every bit.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "engines/Bayes_Engines.h"
#include "engines/split_run.h"
#include "numeric/real.h"

enum class tPriorKind { StandardTheory, Calibrated };

// The inputs of one engine call.  The worksheet's number reader delivers
// doubles; the fields are tReal so that a test can also reach the
// inversions' limits (a correlation within 2^-64 of 1, variances beyond the
// range of a double).
struct tEngineCase {
  tPriorKind prior = tPriorKind::StandardTheory;
  int32_t n = 20;
  int32_t n_iter = 10000;
  tReal mean_x = 100, sd_x = 15, mean_y = 50, sd_y = 10, r = 0.6;
  tReal case_x = 70, case_y = 55;
  bool two_sided = true;
  tTestKind test = tTestKind::Standardized;
};

// Runs use `threads` threads while it lives, and every stretch of the
// stream but the first is begun from a guessed position (not only those
// that the scheduling happens to leave unknown), so that the splitting is
// tested however fast the machine.
struct tEngineThreads {
  explicit tEngineThreads(unsigned threads) {
    SetEngineThreads(threads);
    split_run::SetGuessEveryStretch(true);
  }
  ~tEngineThreads() {
    SetEngineThreads(0);
    split_run::SetGuessEveryStretch(false);
  }
  tEngineThreads(const tEngineThreads&) = delete;
  tEngineThreads& operator=(const tEngineThreads&) = delete;
};

inline void RunEngine(const tEngineCase& c, tEngine_results& results,
                      tRunControl* control = nullptr, tDrawSummary* draws = nullptr) {
  auto engine =
      c.prior == tPriorKind::Calibrated ? Calibrated_Prior_Engine : Standard_Theory_Engine;
  engine(c.n, c.n_iter, true, c.mean_x, c.sd_x, c.mean_y, c.sd_y, c.r, c.case_x, c.case_y,
         c.two_sided, 95, results, c.test, control, draws);
}

inline tEngine_results RunEngine(const tEngineCase& c) {
  tEngine_results results;
  RunEngine(c, results);
  return results;
}

// Every field of the result record, by name.  The size check fails the build
// when a field is added to the record but not here, so that no comparison
// below can leave a field out.
using tResultField = decltype(tEngine_results::zdcc);
struct tNamedField {
  const char* name;
  tResultField tEngine_results::*field;
};
inline constexpr std::array<tNamedField, 8> kResultFields{{
    {"one_tailed_p", &tEngine_results::one_tailed_p},
    {"two_tailed_p", &tEngine_results::two_tailed_p},
    {"pct_estimate", &tEngine_results::pct_estimate},
    {"pct_lower", &tEngine_results::pct_lower},
    {"pct_upper", &tEngine_results::pct_upper},
    {"zdcc", &tEngine_results::zdcc},
    {"zdcc_lower", &tEngine_results::zdcc_lower},
    {"zdcc_upper", &tEngine_results::zdcc_upper},
}};
static_assert(sizeof(tEngine_results) == kResultFields.size() * sizeof(tResultField),
              "a field of tEngine_results is missing from kResultFields");

inline ::testing::AssertionResult SameBits(const tEngine_results& a, const tEngine_results& b) {
  for (const tNamedField& f : kResultFields) {
    if (!(a.*f.field == b.*f.field)) {
      char text[160];
      const long double x = static_cast<long double>(a.*f.field);  // keeps long double
      const long double y = static_cast<long double>(b.*f.field);  // keeps long double
      std::snprintf(text, sizeof text, "%s: %.21Lg != %.21Lg", f.name, x, y);
      return ::testing::AssertionFailure() << text;
    }
  }
  return ::testing::AssertionSuccess();
}

// A record no engine would produce, to see that a failed run leaves it alone.
inline tEngine_results Untouched() {
  tEngine_results r;
  int i = 0;
  for (const tNamedField& f : kResultFields)
    r.*f.field = -1000 - i++;
  return r;
}
