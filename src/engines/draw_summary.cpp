#include "engines/draw_summary.h"

#include <algorithm>
#include <cmath>

namespace {

// The smallest of 1, 2, 2.5 and 5 times a power of ten that is at least
// `width` (width > 0, finite).
long double RoundBinWidth(long double width) {
  long double decade = 1;
  while (decade > width)
    decade /= 10;
  while (decade * 10 < width)
    decade *= 10;
  for (long double step : {1.0L, 2.0L, 2.5L, 5.0L, 10.0L})
    if (step * decade >= width) return step * decade;
  return 10 * decade;
}

}  // namespace

int64_t tDrawSummary::Total() const {
  int64_t total = int64_t{below} + above;
  for (int32_t c : counts)
    total += c;
  return total;
}

tDrawSummary SummarizeDraws(const double* draws, int32_t count, long double lower_limit,
                            long double upper_limit) {
  tDrawSummary summary;
  if (!(std::isfinite(lower_limit) && std::isfinite(upper_limit))) {
    summary.below = std::max<int32_t>(count, 0);  // nothing sensible to bin
    return summary;
  }
  if (upper_limit < lower_limit) std::swap(lower_limit, upper_limit);
  long double room = (upper_limit - lower_limit) / 2;
  if (!(room > 0)) room = std::max({0.5L, std::fabs(lower_limit) / 2, std::fabs(upper_limit) / 2});
  const long double start = lower_limit - room;
  const long double end = upper_limit + room;
  const long double width = RoundBinWidth((end - start) / kSummaryBins);
  summary.bin_width = width;
  summary.low = std::floor(start / width) * width;
  const long double bins = std::ceil((end - summary.low) / width);
  summary.counts.assign(static_cast<std::size_t>(std::max(bins, 1.0L)), 0);

  const long double n_bins = static_cast<long double>(summary.counts.size());
  for (int32_t i = 0; i < count; ++i) {
    const long double x = draws[i];
    if (!(x >= summary.low)) {
      ++summary.below;
      continue;
    }
    const long double k = std::floor((x - summary.low) / width);
    if (k >= n_bins)
      ++summary.above;
    else
      ++summary.counts[static_cast<std::size_t>(k)];
  }
  return summary;
}
