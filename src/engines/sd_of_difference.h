// SD_of_difference belongs to the Metrics_Papers module; it is defined here,
// beside its first users the engines, so that the engines need nothing from
// the analysis layer.  analysis/Metrics_Papers.h offers it to everyone else.
#pragma once

#include <cmath>

// Standard deviation of the difference of two variables with standard
// deviations sd_a and sd_b and correlation r: sqrt(a² + b² − 2·a·b·r),
// evaluated left to right.  Checks nothing.
inline long double SD_of_difference(long double sd_a, long double sd_b, long double r) {
  return std::sqrt(sd_a * sd_a + sd_b * sd_b - 2.0L * sd_a * sd_b * r);
}
