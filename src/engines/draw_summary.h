// A compact picture of a run's posterior draws of the case's difference:
// counts over equal bins across a range that holds the credible interval
// with room on both sides, and the number of draws outside the range.  It
// is what a figure of the posterior needs, in a few hundred numbers instead
// of the run's 8 MB store of draws.
#pragma once

#include <cstdint>
#include <vector>

#include "numeric/real.h"

// The bins are [low + k * bin_width, low + (k + 1) * bin_width) for
// k = 0 ... counts.size() - 1, the edges computed in tReal.  Every draw is counted once: in a
// bin, in `below` (less than low) or in `above` (at or beyond the last bin's end).
struct tDrawSummary {
  tReal low = 0;
  tReal bin_width = 0;
  std::vector<int32_t> counts;
  int32_t below = 0;
  int32_t above = 0;

  bool Empty() const { return counts.empty(); }
  // The end of the last bin.
  tReal High() const { return low + bin_width * static_cast<tReal>(counts.size()); }
  // Draws counted, inside and outside the range.
  int64_t Total() const;
};

// The range is cut into this many bins of equal width, which is then rounded
// up to 1, 2, 2.5 or 5 times a power of ten so that the bin edges are round
// numbers; a summary thus has between half as many bins and this many (two
// more at most, as the range's ends move out to bin edges).
inline constexpr int kSummaryBins = 200;

// Counts `count` draws (in any order) over a range from half the credible
// interval's width below `lower_limit` to half of it above `upper_limit`.
// An interval of no width (every draw alike) gets a range of width 1 around
// it, or of the limits' magnitude when that is larger.
tDrawSummary SummarizeDraws(const double* draws, int32_t count, tReal lower_limit,
                            tReal upper_limit);
