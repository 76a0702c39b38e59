// The pilot that estimates what a calibrated-prior run costs: its count of
// accepted proposals follows the correlation, it leaves the generator and
// the run alone, and it fails where the run's set-up fails.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "engines/Bayes_Engines.h"
#include "numeric/distrib.h"

TEST(CalibratedPilot, AcceptsFewerProposalsAsTheCorrelationNearsOne) {
  const int32_t at_0 = CalibratedPilotAcceptances(20, 15, 10, 0, 20000);
  const int32_t at_999 = CalibratedPilotAcceptances(20, 15, 10, .999L, 20000);
  const int32_t at_99999 = CalibratedPilotAcceptances(20, 15, 10, .99999L, 20000);
  const int32_t at_minus = CalibratedPilotAcceptances(20, 15, 10, -.99999L, 20000);
  // About the mean of sqrt(1 - rho^2) over the proposals.
  EXPECT_GT(at_0, 18000);
  EXPECT_GT(at_999, 400);
  EXPECT_LT(at_999, 2000);
  EXPECT_GT(at_99999, 20);
  EXPECT_LT(at_99999, 200);
  EXPECT_NEAR(at_minus, at_99999, 40);
  // The same pilot gives the same count, and the scale of the standard
  // deviations does not matter.
  EXPECT_EQ(CalibratedPilotAcceptances(20, 15, 10, .999L, 20000), at_999);
  EXPECT_EQ(CalibratedPilotAcceptances(20, 1, 1, .999L, 20000), at_999);
}

TEST(CalibratedPilot, LeavesTheGeneratorAndTheRunAsTheyWere) {
  tEngineCase c;
  c.prior = tPriorKind::Calibrated;
  c.r = .99L;
  c.n_iter = 20000;
  const tEngine_results before = RunEngine(c);
  ResetUniformRandom();
  const int32_t seed1 = RandomSeed1, seed2 = RandomSeed2;
  CalibratedPilotAcceptances(20, 15, 10, .99L, 5000);
  EXPECT_EQ(RandomSeed1, seed1);
  EXPECT_EQ(RandomSeed2, seed2);
  const tEngine_results after = RunEngine(c);
  EXPECT_TRUE(SameBits(after, before));
}

TEST(CalibratedPilot, FailsWhereTheRunsSetUpFails) {
  EXPECT_THROW(CalibratedPilotAcceptances(3, 15, 10, .6L, 100), EArgumentError);
}
