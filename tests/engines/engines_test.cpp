// What the engines' results must satisfy whatever the draws, how a run ends
// on bad input, and the unstandardized test against its frequentist value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <utility>

#include "engine_test_support.h"
#include "engines/sd_of_difference.h"
#include "numeric/distrib.h"

namespace {

const tNormal_distribution kStandardNormal(0, 1);

tEngineCase Example(tPriorKind prior) {
  tEngineCase c;
  c.prior = prior;
  return c;
}

// The summary's rules, for both priors, both directions of the case's
// difference and both kinds of limits.
TEST(EngineSummary, ProbabilitiesPercentagesAndLimitsAgree) {
  for (tPriorKind prior : {tPriorKind::StandardTheory, tPriorKind::Calibrated}) {
    for (double case_x : {70.0, 100.0, 130.0}) {
      for (bool two_sided : {true, false}) {
        tEngineCase c = Example(prior);
        c.case_x = case_x;
        c.two_sided = two_sided;
        const tEngine_results r = RunEngine(c);
        SCOPED_TRACE(testing::Message() << "case_x " << case_x << " two-sided " << two_sided);
        EXPECT_EQ(r.two_tailed_p, 2 * r.one_tailed_p);
        EXPECT_EQ(r.one_tailed_p, r.pct_estimate / 100);
        EXPECT_LE(r.pct_estimate, 50);
        EXPECT_GE(r.pct_estimate, 0);
        EXPECT_LE(r.two_tailed_p, 1);
        EXPECT_LE(r.zdcc_lower, r.zdcc_upper);
        EXPECT_LE(r.pct_lower, r.pct_upper);
        // Below the controls the percentages are Phi of the limits; above
        // them (flipped) the complements, taken crosswise.
        const tReal phi_lower = 100 * kStandardNormal.Cdf(r.zdcc_lower);
        const tReal phi_upper = 100 * kStandardNormal.Cdf(r.zdcc_upper);
        if (r.zdcc < 0) {
          EXPECT_EQ(r.pct_lower, phi_lower);
          EXPECT_EQ(r.pct_upper, phi_upper);
        } else if (r.zdcc > 0) {
          EXPECT_EQ(r.pct_lower, 100 - phi_upper);
          EXPECT_EQ(r.pct_upper, 100 - phi_lower);
        }
      }
    }
  }
}

TEST(EngineSummary, ZdccComesFromTheSampleStatistics) {
  tEngineCase c = Example(tPriorKind::Calibrated);
  // zX = -2, zY = 0.5: Z-DCC = -2.5 / sqrt(0.8) whatever the draws.
  EXPECT_EQ(RunEngine(c).zdcc, (-2.0L - 0.5L) / SD_of_difference(1, 1, c.r));
  EXPECT_NEAR(static_cast<double>(RunEngine(c).zdcc), -2.7951, 5e-5);
  c.case_x = c.mean_x;
  c.case_y = c.mean_y;
  EXPECT_EQ(RunEngine(c).zdcc, 0);
  c.prior = tPriorKind::StandardTheory;
  c.test = tTestKind::Unstandardized;
  EXPECT_EQ(RunEngine(c).zdcc, 0);
}

// Two-sided limits are wider than one-sided ones from the same draws, and a
// run too short for the level still reads limits inside its sample.
TEST(EngineSummary, LimitPositions) {
  tEngineCase c = Example(tPriorKind::StandardTheory);
  const tEngine_results two = RunEngine(c);
  c.two_sided = false;
  const tEngine_results one = RunEngine(c);
  EXPECT_LT(two.zdcc_lower, one.zdcc_lower);
  EXPECT_GT(two.zdcc_upper, one.zdcc_upper);
  EXPECT_EQ(two.pct_estimate, one.pct_estimate);

  // One iteration: both limits are the one draw.  Ten iterations: the
  // positions fall outside the sample and are kept inside it, so the limits
  // are the smallest and the largest of ten draws, the first one among them.
  c.n_iter = 1;
  const tEngine_results single = RunEngine(c);
  EXPECT_EQ(single.zdcc_lower, single.zdcc_upper);
  c.n_iter = 10;
  const tEngine_results ten = RunEngine(c);
  EXPECT_LT(ten.zdcc_lower, single.zdcc_lower);
  EXPECT_GT(ten.zdcc_upper, single.zdcc_upper);
}

TEST(EngineSummary, RepeatedRunsAgreeAndTheGeneratorMatters) {
  tEngineCase c = Example(tPriorKind::Calibrated);
  EXPECT_TRUE(SameBits(RunEngine(c), RunEngine(c)));
  // Without the fixed start a run continues the generator and differs.
  tEngine_results first, second;
  ResetUniformRandom();
  Calibrated_Prior_Engine(20, 10000, false, 100, 15, 50, 10, 0.6, 70, 55, true, 95, first);
  Calibrated_Prior_Engine(20, 10000, false, 100, 15, 50, 10, 0.6, 70, 55, true, 95, second);
  EXPECT_TRUE(SameBits(first, RunEngine(c)));
  EXPECT_NE(first.pct_estimate, second.pct_estimate);
  // The two priors differ for the same inputs.
  EXPECT_NE(RunEngine(c).pct_estimate, RunEngine(Example(tPriorKind::StandardTheory)).pct_estimate);
}

TEST(EngineSampleSize, SmallestSamplesOfEachPrior) {
  tEngineCase c = Example(tPriorKind::StandardTheory);
  c.n = 3;
  EXPECT_NO_THROW(RunEngine(c));
  c.prior = tPriorKind::Calibrated;
  c.n = 4;
  EXPECT_NO_THROW(RunEngine(c));

  // n = 3 is too small for the calibrated prior: chi-square with 0 degrees
  // of freedom, before any draw.
  c.n = 3;
  tEngine_results results = Untouched();
  try {
    RunEngine(c, results);
    ADD_FAILURE() << "n = 3 ran under the calibrated prior";
  } catch (const EArgumentError& e) {
    EXPECT_EQ(e.Id(), 1301);
    const std::string message = e.Message();
    EXPECT_EQ(message.back(), '0');
  }
  EXPECT_TRUE(SameBits(results, Untouched()));
}

// Small samples under the calibrated prior draw nearly singular matrices;
// with SDs around 1 or 100 every inversion still finds its pivot and the
// run completes with sound numbers.
TEST(EngineSampleSize, CalibratedSmallSampleCompletes) {
  for (double sd : {0.01, 1.0, 100.0}) {
    tEngineCase c = Example(tPriorKind::Calibrated);
    c.n = 4;
    c.mean_x = 5 * sd;
    c.sd_x = sd;
    c.mean_y = 4 * sd;
    c.sd_y = 1.5 * sd;
    c.case_x = 2 * sd;
    c.case_y = 4 * sd;
    c.n_iter = 20000;
    const tEngine_results r = RunEngine(c);
    SCOPED_TRACE(sd);
    EXPECT_TRUE(real_math::isfinite(r.zdcc_lower) && real_math::isfinite(r.zdcc_upper));
    EXPECT_GT(r.pct_estimate, 0);
    EXPECT_LE(r.pct_estimate, 50);
    // The same case in other units gives nearly the same answer.
    if (sd != 1.0) {
      tEngineCase unit = c;
      unit.mean_x = 5, unit.sd_x = 1, unit.mean_y = 4, unit.sd_y = 1.5, unit.case_x = 2;
      unit.case_y = 4;
      EXPECT_NEAR(static_cast<double>(r.pct_estimate),
                  static_cast<double>(RunEngine(unit).pct_estimate), 1e-6);
    }
  }
}

template <typename tError>
void ExpectRunFails(const tEngineCase& c) {
  tEngine_results results = Untouched();
  EXPECT_THROW(RunEngine(c, results), tError);
  EXPECT_TRUE(SameBits(results, Untouched()));
}

TEST(EngineFailure, SingularScaleMatrix) {
  tEngineCase c = Example(tPriorKind::StandardTheory);
  c.sd_x = 0;
  ExpectRunFails<ESingularMatrix>(c);
  c.prior = tPriorKind::Calibrated;
  ExpectRunFails<ESingularMatrix>(c);
  try {
    RunEngine(c);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "The covariance matrix of the control sample cannot be inverted.");
  }
}

// A drawn W that cannot be inverted (controls correlated within 2^-64 of 1,
// where the scale matrix still can) ends the run as a singular scale matrix
// does, whichever thread meets it.
TEST(EngineFailure, SingularDrawnMatrix) {
  for (unsigned threads : {1u, 2u, 16u}) {
    const tEngineThreads use(threads);
    for (tPriorKind prior : {tPriorKind::StandardTheory, tPriorKind::Calibrated}) {
      tEngineCase c = Example(prior);
      c.mean_x = 0, c.sd_x = 1, c.mean_y = 0, c.sd_y = 0.3, c.case_x = 1, c.case_y = 0;
      c.r = 1 - 0x1p-64L;
      c.n_iter = 3000;
      SCOPED_TRACE(threads);
      ExpectRunFails<ESingularMatrix>(c);
    }
  }
}

// Faults end the run with the floating-point error of the first fault,
// whichever thread meets it, and never hang (a NaN would never pass the
// acceptance test nor the continued fraction's stopping test).
TEST(EngineFailure, FloatingPointFaults) {
  const tReal nan = std::numeric_limits<tReal>::quiet_NaN();
  using tEngine = decltype(&Standard_Theory_Engine);
  for (unsigned threads : {1u, 2u, 16u}) {
    const tEngineThreads use(threads);
    for (tEngine engine : {Standard_Theory_Engine, Calibrated_Prior_Engine}) {
      auto expect_fault = [&](auto error, tReal sd_x, tReal r, tReal case_x) {
        tEngine_results results = Untouched();
        EXPECT_THROW(engine(20, 10000, true, 100, sd_x, 50, 10, r, case_x, 55, true, 95, results,
                            tTestKind::Standardized, nullptr, nullptr),
                     decltype(error))
            << "sd_x " << sd_x << " r " << r << " case_x " << case_x << " threads " << threads;
        EXPECT_TRUE(SameBits(results, Untouched()));
      };
      expect_fault(EInvalidOp(), 15, 0.6, nan);          // in every draw
      expect_fault(EInvalidOp(), 15, nan, 70);           // in the scale matrix
      expect_fault(EOverflow(), 1e2500L, 0.6, 70);       // sd_x squared
      expect_fault(EOverflow(), 1e-100L, 0.6, 1e4900L);  // the case's z on X
    }
  }
  // Variances of 1e-4600: the product under rho vanishes.  The unstandardized
  // difference does not use rho, but forming it still ends the run.
  for (tPriorKind prior : {tPriorKind::StandardTheory, tPriorKind::Calibrated}) {
    tEngineCase c = Example(prior);
    c.mean_x = 0, c.sd_x = 1e-2300L, c.mean_y = 0, c.sd_y = 1e-2300L, c.r = 0.5;
    c.case_x = 1e-2300L, c.case_y = 0;
    c.test = tTestKind::Unstandardized;
    c.n_iter = 3000;
    ExpectRunFails<EZeroDivide>(c);
  }
  // With no iterations there is nothing to summarise (0 / 0).
  tEngineCase c = Example(tPriorKind::StandardTheory);
  c.n_iter = 0;
  ExpectRunFails<EInvalidOp>(c);
}

// A difference so large that Phi's incomplete gamma argument exceeds the
// library's bound fails as the library's Cdf fails.
TEST(EngineFailure, NormalProbabilityOutOfRange) {
  tEngineCase c = Example(tPriorKind::StandardTheory);
  c.case_x = 1e6;
  c.sd_x = 0.001;
  c.sd_y = 0.001;
  tEngine_results results = Untouched();
  try {
    RunEngine(c, results);
    ADD_FAILURE() << "no error";
  } catch (const EArgumentError& e) {
    EXPECT_EQ(e.Id(), 1361);
  }
  EXPECT_TRUE(SameBits(results, Untouched()));
}

// Under the standard-theory prior the posterior probability for the
// unstandardized difference is the one-tailed p of the frequentist t test
// with n - 1 degrees of freedom.
struct tUnstandardizedCase {
  double mean_x, sd_x, mean_y, sd_y, r;
  int32_t n;
  double case_x, case_y;
  double p, tolerance;
};

TEST(EngineUnstandardized, AgreesWithTheFrequentistTest) {
  const tUnstandardizedCase cases[] = {
      {100, 15, 50, 10, 0.6, 20, 70, 55, 0.0052741, 1e-5},
      {450, 120, 500, 110, 0.8, 30, 700, 520, 0.0022232, 1e-5},
      {50, 10, 50, 10, 0.5, 10, 65, 45, 0.0444490, 7e-5},
  };
  for (const tUnstandardizedCase& u : cases) {
    tEngineCase c;
    c.n = u.n;
    c.n_iter = 1000000;
    c.mean_x = u.mean_x, c.sd_x = u.sd_x, c.mean_y = u.mean_y, c.sd_y = u.sd_y, c.r = u.r;
    c.case_x = u.case_x, c.case_y = u.case_y;
    c.test = tTestKind::Unstandardized;
    const tEngine_results r = RunEngine(c);
    EXPECT_NEAR(static_cast<double>(r.one_tailed_p), u.p, u.tolerance) << u.mean_x;
    // Z-DCC of the raw difference.
    EXPECT_EQ(r.zdcc, ((c.case_x - c.mean_x) - (static_cast<tReal>(c.case_y) - c.mean_y)) /
                          SD_of_difference(c.sd_x, c.sd_y, c.r));
  }
}

TEST(SDOfDifference, KnownValues) {
  EXPECT_EQ(SD_of_difference(1, 1, 0), real_math::sqrt(2.0L));
  EXPECT_EQ(SD_of_difference(2, 3, 0.5L), real_math::sqrt(7.0L));
}

}  // namespace

// A run followed through its control: the count of drawn iterations reaches
// the whole run, and a stop request ends a run without touching the results
// or changing the numbers of the next complete run.
TEST(EngineControl, ProgressAndStop) {
  for (const auto& [prior, threads] : {std::pair{tPriorKind::StandardTheory, 1u},
                                       {tPriorKind::Calibrated, 2u},
                                       {tPriorKind::StandardTheory, 16u}}) {
    const tEngineThreads use(threads);
    SCOPED_TRACE(testing::Message()
                 << (prior == tPriorKind::Calibrated ? "calibrated" : "standard theory") << ", "
                 << threads << " threads");
    tEngineCase c;
    c.prior = prior;
    c.n_iter = 20000;
    const tEngine_results plain = RunEngine(c);

    tRunControl followed;
    tEngine_results results;
    RunEngine(c, results, &followed);
    EXPECT_EQ(followed.drawn.load(), c.n_iter);
    EXPECT_TRUE(SameBits(results, plain));

    // Stopped before the first draw, and stopped from another thread
    // while the run is under way.
    tRunControl stopped;
    stopped.stop = true;
    results = Untouched();
    EXPECT_THROW(RunEngine(c, results, &stopped), ERunStopped);
    EXPECT_TRUE(SameBits(results, Untouched()));
    EXPECT_EQ(stopped.drawn.load(), 0);

    tEngineCase longer = c;
    longer.n_iter = 2000000;
    tRunControl midway;
    std::thread stopper([&] {
      while (midway.drawn.load() == 0)
        std::this_thread::yield();
      midway.stop = true;
    });
    results = Untouched();
    EXPECT_THROW(RunEngine(longer, results, &midway), ERunStopped);
    stopper.join();
    EXPECT_TRUE(SameBits(results, Untouched()));
    EXPECT_LT(midway.drawn.load(), longer.n_iter);

    EXPECT_TRUE(SameBits(RunEngine(c), plain));
  }
}
