// The two Monte Carlo engines, one per prior.  Each fills a caller-owned
// tEngine_results from the control statistics and one case's two scores.
#pragma once

#include <cstdint>

// The eight results of an analysis, in this order.
struct tEngine_results {
  long double one_tailed_p = 0;
  long double two_tailed_p = 0;
  long double pct_estimate = 0;
  long double pct_lower = 0;
  long double pct_upper = 0;
  long double zdcc = 0;
  long double zdcc_lower = 0;
  long double zdcc_upper = 0;
};

// Which difference the engines evaluate: the case's standardized difference
// (z on X minus z on Y) or the unstandardized one (X minus Y in raw units).
enum class tTestKind { Standardized, Unstandardized };

// Standard-theory (Jeffreys) prior.
void Standard_Theory_Engine(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                            long double sd_x, long double mean_y, long double sd_y, long double r,
                            long double case_x, long double case_y, bool two_sided,
                            int32_t conf_pct, tEngine_results& results,
                            tTestKind test = tTestKind::Standardized);

// Calibrated prior (fewer degrees of freedom, rescaled scale matrix and an
// acceptance step on each drawn covariance matrix).
void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                             long double sd_x, long double mean_y, long double sd_y, long double r,
                             long double case_x, long double case_y, bool two_sided,
                             int32_t conf_pct, tEngine_results& results,
                             tTestKind test = tTestKind::Standardized);
