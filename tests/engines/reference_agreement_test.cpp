// The engines against the plain step-by-step implementation kept beside
// the benchmarks (whole-matrix routines, virtual calls, a full QuickSort of
// the sample, one thread): over many random control samples, cases,
// priors, limits and test kinds, and whatever the number of threads, the
// same eight results in every bit, the same generator state afterwards and
// the same error when a run fails.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <typeinfo>

#include "engine_test_support.h"
#include "numeric/distrib.h"
#include "reference/reference_engines.h"
#include "reference/reference_numeric.h"

namespace {

struct tOutcome {
  tEngine_results results = Untouched();
  std::string error;  // the error's type (and id), empty when the run completed
  int32_t seed1 = 0, seed2 = 0;
};

template <typename tRun>
std::string ErrorOf(tRun run) {
  try {
    run();
  } catch (const EArgumentError& e) {
    return "EArgumentError " + std::to_string(e.Id());
  } catch (const std::exception& e) {
    return typeid(e).name();
  }
  return "";
}

tOutcome RunOptimised(const tEngineCase& c) {
  tOutcome o;
  o.error = ErrorOf([&] { RunEngine(c, o.results); });
  o.seed1 = RandomSeed1;
  o.seed2 = RandomSeed2;
  return o;
}

tOutcome RunReference(const tEngineCase& c) {
  tOutcome o;
  auto engine = c.prior == tPriorKind::Calibrated ? quorrel_reference::Calibrated_Prior_Engine
                                                  : quorrel_reference::Standard_Theory_Engine;
  o.error = ErrorOf([&] {
    engine(c.n, c.n_iter, true, c.mean_x, c.sd_x, c.mean_y, c.sd_y, c.r, c.case_x, c.case_y,
           c.two_sided, 95, o.results, c.test);
  });
  o.seed1 = quorrel_reference::RandomSeed1;
  o.seed2 = quorrel_reference::RandomSeed2;
  return o;
}

// Each case with 1, 2, 3, 8 and 16 threads.
void ExpectAgreement(const tEngineCase& c) {
  const tOutcome reference = RunReference(c);
  SCOPED_TRACE(
      testing::Message() << (c.prior == tPriorKind::Calibrated ? "calibrated" : "standard") << " n "
                         << c.n << " iterations " << c.n_iter << " means " << c.mean_x << " "
                         << c.mean_y << " sds " << c.sd_x << " " << c.sd_y << " r " << c.r
                         << " case " << c.case_x << " " << c.case_y
                         << (c.two_sided ? " two-sided" : " one-sided")
                         << (c.test == tTestKind::Unstandardized ? " unstandardized" : ""));
  for (unsigned threads : {1u, 2u, 3u, 8u, 16u}) {
    const tEngineThreads use(threads);
    const tOutcome optimised = RunOptimised(c);
    SCOPED_TRACE(testing::Message() << threads << " threads");
    EXPECT_EQ(optimised.error, reference.error);
    EXPECT_TRUE(SameBits(optimised.results, reference.results));
    if (reference.error.empty()) {
      EXPECT_EQ(optimised.seed1, reference.seed1);
      EXPECT_EQ(optimised.seed2, reference.seed2);
    }
  }
}

TEST(ReferenceAgreement, RandomControlSamplesAndCases) {
  std::mt19937 random(20240611);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
  };
  const int32_t lengths[] = {1, 2, 39, 40, 41, 999, 4096, 4097, 6000};
  for (int i = 0; i < 80; ++i) {
    tEngineCase c;
    c.prior = i % 2 ? tPriorKind::Calibrated : tPriorKind::StandardTheory;
    c.n = static_cast<int32_t>(uniform(3, 60));
    c.n_iter = lengths[i % 9];
    const double scale = std::pow(10.0, uniform(-3, 3));
    c.mean_x = uniform(-2, 10) * scale;
    c.mean_y = uniform(-2, 10) * scale;
    c.sd_x = uniform(0.2, 3) * scale;
    c.sd_y = uniform(0.2, 3) * scale;
    c.r = uniform(-0.95, 0.95);
    c.case_x = c.mean_x + uniform(-5, 5) * c.sd_x;
    c.case_y = c.mean_y + uniform(-5, 5) * c.sd_y;
    c.two_sided = i % 3 != 0;
    c.test = i % 5 == 0 ? tTestKind::Unstandardized : tTestKind::Standardized;
    ExpectAgreement(c);
    if (HasFailure()) break;
  }
}

// Strongly correlated controls (many rejections under the calibrated
// prior), the smallest samples, and runs that fail.
TEST(ReferenceAgreement, EdgesAndFailures) {
  for (tPriorKind prior : {tPriorKind::StandardTheory, tPriorKind::Calibrated}) {
    for (int32_t n : {3, 4, 5}) {
      for (double r : {-0.99, 0.0, 0.999}) {
        tEngineCase c;
        c.prior = prior;
        c.n = n;
        c.r = r;
        c.n_iter = 3000;
        ExpectAgreement(c);
      }
    }
    tEngineCase c;
    c.prior = prior;
    c.n_iter = 70000;  // long enough for the limits to be selected through brackets
    c.two_sided = prior == tPriorKind::Calibrated;
    ExpectAgreement(c);
    // Controls correlated within 2^-64 of 1: the scale matrix still
    // inverts, and the drawn matrices fail in one of three ways (a singular
    // W, a division by zero, Phi's argument beyond the library's bound).
    for (tReal sd_y : {0.3L, 1.0L, 10.0L}) {
      tEngineCase near = c;
      near.n_iter = 3000;
      near.mean_x = 0, near.sd_x = 1, near.mean_y = 0, near.sd_y = sd_y;
      near.case_x = 1, near.case_y = 0;
      near.r = 1 - 0x1p-64L;
      ExpectAgreement(near);
    }
    // Variances beyond a double's range: the faults of the plain
    // computation, for both test kinds (the unstandardized difference
    // does not use rho, but the product under it still vanishes or
    // overflows).
    for (tReal scale : {1e-2300L, 1e2300L}) {
      for (tTestKind test : {tTestKind::Standardized, tTestKind::Unstandardized}) {
        tEngineCase extreme = c;
        extreme.n_iter = 3000;
        extreme.mean_x = 0, extreme.sd_x = scale, extreme.mean_y = 0, extreme.sd_y = scale;
        extreme.r = 0.5, extreme.case_x = scale, extreme.case_y = 0;
        extreme.test = test;
        ExpectAgreement(extreme);
      }
    }
    c.n_iter = 500;
    c.sd_x = 0;  // a singular scale matrix
    ExpectAgreement(c);
    c.sd_x = 0.001;  // Phi's argument beyond the library's bound
    c.sd_y = 0.001;
    c.case_x = 1e6;
    ExpectAgreement(c);
  }
}

}  // namespace
