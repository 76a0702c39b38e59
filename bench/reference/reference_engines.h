// A frozen, deliberately unoptimised copy of the two Monte Carlo engines,
// written step by step on top of reference_numeric.h (whole-matrix copies,
// virtual calls, one thread).  It exists only so that the optimised engines
// can be measured, and checked bit for bit, against the plain computation.
// It is kept apart from the program on purpose: it shares no code with the
// engines but the elementary functions (the extended logarithm and
// exponential, which must be the same for the bits to agree), so that a
// fault in an optimisation cannot hide in both.  The tests' golden values
// are made with it: see golden_values.cpp.
#pragma once

#include <cstdint>

#include "engines/Bayes_Engines.h"
#include "numeric/real.h"

namespace quorrel_reference {

void Standard_Theory_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                            tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                            bool two_sided, int32_t conf_pct, tEngine_results& results,
                            tTestKind test = tTestKind::Standardized);

void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, tReal mean_x, tReal sd_x,
                             tReal mean_y, tReal sd_y, tReal r, tReal case_x, tReal case_y,
                             bool two_sided, int32_t conf_pct, tEngine_results& results,
                             tTestKind test = tTestKind::Standardized);

}  // namespace quorrel_reference
