// The standard deviation of a difference, by which the engines divide the
// case's difference to give the effect size Z-DCC.
#pragma once

#include <cmath>

#include "numeric/real.h"

// Standard deviation of the difference of two variables with standard
// deviations sd_a and sd_b and correlation r: sqrt(a² + b² − 2·a·b·r),
// evaluated left to right.  Checks nothing.
inline tReal SD_of_difference(tReal sd_a, tReal sd_b, tReal r) {
  return real_math::sqrt(sd_a * sd_a + sd_b * sd_b - 2.0L * sd_a * sd_b * r);
}
