#include "engines/draw_summary.h"

#include <algorithm>
#include <cmath>

namespace {

// The smallest of 1, 2, 2.5 and 5 times a power of ten that is at least
// `width` (width > 0, finite).  Powers of ten are exact in tReal up to
// 10^27, so a width below 1 is formed as one division, the nearest value to
// the decimal number.
tReal RoundBinWidth(tReal width) {
  const bool below_one = width < 1;
  tReal power = 1;  // the decade of width is power, or 1/power below 1
  if (below_one) {
    while (1 / power > width && power < 1e27L)
      power *= 10;
  } else {
    while (power * 10 <= width && power < 1e27L)
      power *= 10;
  }
  for (tReal step : {1.0L, 2.0L, 2.5L, 5.0L}) {
    const tReal candidate = below_one ? step / power : step * power;
    if (candidate >= width) return candidate;
  }
  return below_one ? 10 / power : 10 * power;
}

}  // namespace

int64_t tDrawSummary::Total() const {
  int64_t total = int64_t{below} + above;
  for (int32_t c : counts)
    total += c;
  return total;
}

tDrawSummary SummarizeDraws(const double* draws, int32_t count, tReal lower_limit,
                            tReal upper_limit) {
  tDrawSummary summary;
  if (!(real_math::isfinite(lower_limit) && real_math::isfinite(upper_limit))) {
    summary.below = std::max<int32_t>(count, 0);  // nothing sensible to bin
    return summary;
  }
  if (upper_limit < lower_limit) std::swap(lower_limit, upper_limit);
  tReal room = (upper_limit - lower_limit) / 2;
  if (!(room > 0))
    room =
        std::max<tReal>({0.5L, real_math::fabs(lower_limit) / 2, real_math::fabs(upper_limit) / 2});
  const tReal start = lower_limit - room;
  const tReal end = upper_limit + room;
  const tReal width = RoundBinWidth((end - start) / kSummaryBins);
  summary.bin_width = width;
  summary.low = real_math::floor(start / width) * width;
  const tReal bins = real_math::ceil((end - summary.low) / width);
  summary.counts.assign(static_cast<std::size_t>(std::max<tReal>(bins, 1.0L)), 0);

  // The bin of a draw from a quick estimate, then put right against the
  // bin's edges themselves, so that a draw on an edge goes to the bin above
  // it whatever the rounding of the estimate.
  const int64_t n_bins = static_cast<int64_t>(summary.counts.size());
  const tReal low = summary.low;
  const tReal per_width = 1 / width;
  for (int32_t i = 0; i < count; ++i) {
    const tReal x = draws[i];
    if (!(x >= low)) {
      ++summary.below;
      continue;
    }
    const double estimate = static_cast<double>((x - low) * per_width);
    if (!(estimate < static_cast<double>(n_bins + 1))) {
      ++summary.above;
      continue;
    }
    int64_t k = static_cast<int64_t>(estimate);
    if (low + k * width > x)
      --k;
    else if (low + (k + 1) * width <= x)
      ++k;
    if (k >= n_bins)
      ++summary.above;
    else
      ++summary.counts[static_cast<std::size_t>(k)];
  }
  return summary;
}
