// The priors of the controls' covariance matrix an analysis can run with,
// and everything that differs between them, in one table: how the command
// line and the worksheet name a prior, what the report and the figure say
// of it, which engine runs it and whether its runs are estimated first.
//
// PriorTraits is the table: one `case` per prior, in a switch that the
// compiler checks for completeness, so that a prior added to tPrior does not
// build until it has its row; kPriors lists them in the order they are
// offered.  Code that must do something different for a prior beyond what
// the table says switches over tPrior without a `default:` for the same
// reason.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engines/Bayes_Engines.h"

enum class tPrior { Calibrated, StandardTheory };

// What the program knows of one prior.
struct tPriorTraits {
  // Its name on the command line (--prior), in a batch's prior column and in
  // the JSON output.
  const char* cli_name = nullptr;
  // Its item in the worksheet's "Form of prior..." group, with the item's
  // access key.
  const char* worksheet_caption = nullptr;
  // The report's option line that names it.
  const char* report_line = nullptr;
  // How the figure's title names it.
  const char* figure_title = nullptr;
  // The engine that runs an analysis with it.
  decltype(&Standard_Theory_Engine) engine = nullptr;
  // The pilot that estimates what a run costs, for a prior whose runs can
  // last long enough to be announced first; null when its runs take about a
  // second and are not estimated.
  decltype(&CalibratedPilot) pilot = nullptr;
};

constexpr tPriorTraits PriorTraits(tPrior prior) {
  switch (prior) {
    case tPrior::Calibrated:
      return {"calibrated",
              "Calibrated (&Recommended)",
              " Option selected: Analysis is to be performed using a prior CALIBRATED to confer "
              "frequentist properties",
              "calibrated prior",
              &Calibrated_Prior_Engine,
              &CalibratedPilot};
    case tPrior::StandardTheory:
      return {"standard",
              "Standard &Theory (Jeffreys prior)",
              " Option selected: Analysis is to be performed using a prior derived from STANDARD "
              "THEORY",
              "standard-theory (Jeffreys) prior",
              &Standard_Theory_Engine,
              nullptr};
  }
  return {};  // no prior: not reached for a value of tPrior
}

// Every prior, in the order the worksheet's items and the command line's
// help offer them; a prior's place here is also its number in the C
// interface and its item index in the worksheet.
inline constexpr std::array<tPrior, 2> kPriors{tPrior::Calibrated, tPrior::StandardTheory};

// The place of `prior` in kPriors.
constexpr int PriorIndex(tPrior prior) {
  for (std::size_t i = 0; i < kPriors.size(); ++i) {
    if (kPriors[i] == prior) return static_cast<int>(i);
  }
  return -1;
}

namespace prior_table_checks {

constexpr bool Named(const char* text) {
  return text != nullptr && *text != '\0';
}

// Every listed prior has a complete row and a command-line name of its own,
// and nothing is listed twice.  (Its engine is not compared with null here:
// in a build with the address sanitizer a function's address is not a
// constant the compiler can compare; the golden tests run every engine.)
constexpr bool RowsComplete() {
  for (std::size_t i = 0; i < kPriors.size(); ++i) {
    const tPriorTraits row = PriorTraits(kPriors[i]);
    if (!Named(row.cli_name) || !Named(row.worksheet_caption) || !Named(row.report_line) ||
        !Named(row.figure_title))
      return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (kPriors[j] == kPriors[i] ||
          std::string_view(PriorTraits(kPriors[j]).cli_name) == row.cli_name)
        return false;
    }
  }
  return true;
}

// tPrior's values are 0, 1, ...: every value below kPriors.size() is a
// prior with a row, and the next one is none.  So a prior added to tPrior
// and given its row in PriorTraits must also be listed in kPriors.
constexpr bool ListComplete() {
  for (std::size_t i = 0; i < kPriors.size(); ++i) {
    if (PriorIndex(static_cast<tPrior>(i)) < 0) return false;
  }
  return PriorTraits(static_cast<tPrior>(kPriors.size())).cli_name == nullptr;
}

}  // namespace prior_table_checks

static_assert(prior_table_checks::RowsComplete(),
              "a prior's row in PriorTraits is incomplete, or names it as another prior");
static_assert(prior_table_checks::ListComplete(), "kPriors does not list every prior");
