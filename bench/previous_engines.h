// The engines as they were before the random stream was split among the
// threads (bench/previous_engines.cpp), for side-by-side timing only.
#pragma once

#include "engines/Bayes_Engines.h"

namespace previous_engines {

void SetEngineThreads(unsigned count);
void Standard_Theory_Engine(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                            long double sd_x, long double mean_y, long double sd_y, long double r,
                            long double case_x, long double case_y, bool two_sided,
                            int32_t conf_pct, tEngine_results& results,
                            tTestKind test = tTestKind::Standardized,
                            tRunControl* control = nullptr);
void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                             long double sd_x, long double mean_y, long double sd_y, long double r,
                             long double case_x, long double case_y, bool two_sided,
                             int32_t conf_pct, tEngine_results& results,
                             tTestKind test = tTestKind::Standardized,
                             tRunControl* control = nullptr);

}  // namespace previous_engines
