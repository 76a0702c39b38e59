// The summary of the posterior draws for the figure: every draw counted
// once, a range that holds the credible interval with room, and a run with
// a summary that gives the same eight results as one without.
#include "engines/draw_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine_test_support.h"

namespace {

// Draws of the summary's bins up to and including the bin that holds x, and
// those below the range.
int64_t CountedThrough(const tDrawSummary& s, tReal x) {
  int64_t total = s.below;
  for (std::size_t k = 0; k < s.counts.size() && s.low + k * s.bin_width <= x; ++k)
    total += s.counts[k];
  return total;
}

TEST(DrawSummary, EveryDrawCountedOnceAndEdgesBelongToTheBinAbove) {
  // Limits 0 and 1: the range reaches from -0.5 to 1.5 in bins of 0.01.
  const std::vector<double> draws = {-0.75, -0.5, 0.0, 0.005, 0.01, 0.999, 1.5, 1.75, 3.0};
  const tDrawSummary s = SummarizeDraws(draws.data(), static_cast<int32_t>(draws.size()), 0, 1);
  EXPECT_EQ(s.bin_width, 0.01L);
  EXPECT_EQ(s.low, -0.5L);
  EXPECT_EQ(s.counts.size(), 200u);
  EXPECT_EQ(s.below, 1);  // -0.75; -0.5 is the first bin's start
  EXPECT_EQ(s.above, 3);  // 1.5 is the end of the range
  EXPECT_EQ(s.Total(), static_cast<int64_t>(draws.size()));
  EXPECT_EQ(s.counts[0], 1);
  EXPECT_EQ(s.counts[50], 2);  // 0 and 0.005
  EXPECT_EQ(s.counts[51], 1);  // 0.01
  EXPECT_EQ(s.counts[149], 1);
}

TEST(DrawSummary, RangeHoldsTheIntervalWithRoomAndRoundEdges) {
  struct tCase {
    tReal lower, upper;
  };
  for (const tCase c : {tCase{-3.788L, -1.699L}, tCase{-0.3L, 0.31L}, tCase{2.0L, 250.0L},
                        tCase{1e-6L, 3e-6L}, tCase{-1.0L, -1.0L}, tCase{40.0L, 40.0L}}) {
    SCOPED_TRACE(testing::Message() << c.lower << " to " << c.upper);
    const double draw = static_cast<double>(c.lower);
    const tDrawSummary s = SummarizeDraws(&draw, 1, c.lower, c.upper);
    const tReal room = (c.upper - c.lower) / 2;
    EXPECT_LE(s.low, c.lower - room);
    EXPECT_GE(s.High(), c.upper + room);
    EXPECT_LT(s.low, c.lower);
    EXPECT_GT(s.High(), c.upper);
    EXPECT_GE(s.counts.size(), static_cast<std::size_t>(kSummaryBins / 2));
    EXPECT_LE(s.counts.size(), static_cast<std::size_t>(kSummaryBins + 2));
    // The bin width is 1, 2, 2.5 or 5 times a power of ten.
    bool round = false;
    for (tReal decade = 1e-12L; decade < 1e12L; decade *= 10)
      for (tReal step : {1.0L, 2.0L, 2.5L, 5.0L})
        round = round || real_math::fabs(s.bin_width - step * decade) <= 1e-15L * s.bin_width;
    EXPECT_TRUE(round) << static_cast<double>(s.bin_width);
    EXPECT_EQ(s.Total(), 1);
  }
}

TEST(DrawSummary, LimitsGivenTheWrongWayRoundOrNotFinite) {
  const std::vector<double> draws = {0.5, 2.5};
  const tDrawSummary swapped = SummarizeDraws(draws.data(), 2, 2, 1);
  EXPECT_LT(swapped.low, 1);
  EXPECT_GT(swapped.High(), 2);
  EXPECT_EQ(swapped.Total(), 2);
  const tDrawSummary infinite = SummarizeDraws(draws.data(), 2, 0, INFINITY);
  EXPECT_TRUE(infinite.Empty());
  EXPECT_EQ(infinite.Total(), 2);
}

// A run's summary holds all its draws, and the draws on either side of each
// limit are where the limit's order statistic puts them: at most lo - 1
// below the lo-th smallest draw, at least lo at or below it.
TEST(DrawSummary, EngineSummaryAgreesWithTheLimitsAndChangesNoResult) {
  for (tPriorKind prior : {tPriorKind::StandardTheory, tPriorKind::Calibrated}) {
    for (bool two_sided : {true, false}) {
      tEngineCase c;
      c.prior = prior;
      c.two_sided = two_sided;
      SCOPED_TRACE(testing::Message() << "calibrated " << (prior == tPriorKind::Calibrated)
                                      << " two-sided " << two_sided);
      const tEngine_results plain = RunEngine(c);
      tEngine_results with;
      tDrawSummary s;
      RunEngine(c, with, nullptr, &s);
      EXPECT_TRUE(SameBits(plain, with));
      EXPECT_EQ(s.Total(), c.n_iter);
      EXPECT_LT(s.low, with.zdcc_lower);
      EXPECT_GT(s.High(), with.zdcc_upper);
      // n_iter 10,000: the limits are the 250th and 9,751st smallest draws
      // two-sided, the 500th and 9,501st one-sided.
      const int64_t lo = two_sided ? 250 : 500;
      const int64_t hi = two_sided ? 9751 : 9501;
      EXPECT_LE(CountedThrough(s, with.zdcc_lower - s.bin_width), lo - 1);
      EXPECT_GE(CountedThrough(s, with.zdcc_lower), lo);
      EXPECT_LE(CountedThrough(s, with.zdcc_upper - s.bin_width), hi - 1);
      EXPECT_GE(CountedThrough(s, with.zdcc_upper), hi);
    }
  }
}

TEST(DrawSummary, SameWhateverTheThreadsAndUntouchedByAFailedRun) {
  tEngineCase c;
  c.n_iter = 40000;
  tDrawSummary one, two;
  tEngine_results r;
  SetEngineThreads(1);
  RunEngine(c, r, nullptr, &one);
  SetEngineThreads(2);
  RunEngine(c, r, nullptr, &two);
  SetEngineThreads(0);
  EXPECT_EQ(one.low, two.low);
  EXPECT_EQ(one.bin_width, two.bin_width);
  EXPECT_EQ(one.counts, two.counts);
  EXPECT_EQ(one.below, two.below);
  EXPECT_EQ(one.above, two.above);

  // n = 3 cannot run under the calibrated prior.
  tDrawSummary kept = one;
  c.prior = tPriorKind::Calibrated;
  c.n = 3;
  EXPECT_ANY_THROW(RunEngine(c, r, nullptr, &kept));
  EXPECT_EQ(kept.counts, one.counts);
}

}  // namespace
