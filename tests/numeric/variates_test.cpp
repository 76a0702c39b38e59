// The variate generators: exact sequences from the start-up seeds, the
// number of uniforms each draw consumes, and their distribution.  The exact
// values come from the plain step-by-step implementation in bench/reference:
// `build/bench/golden_values normals` and `build/bench/golden_values draws`.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "numeric/distrib.h"
#include "numeric/extended_math.h"

namespace {

// `count` draws from the start-up state.
std::vector<long double> Draws(const tDistribution& d, int count) {
  ResetUniformRandom();
  std::vector<long double> x(count);
  for (long double& v : x)
    v = d.RandomValue();
  return x;
}

TEST(Variates, AMillionNormalsFromTheStartSeeds) {
  // Any change of a single rounding shows in the sum or the final state.
  tNormal_distribution n(0, 1);
  ResetUniformRandom();
  EXPECT_EQ(n.RandomValue(), -1.06743403125374153979L);
  EXPECT_EQ(n.RandomValue(), -1.14791773991680848646L);
  long double sum = 0;
  for (int i = 2; i < 1000000; ++i)
    sum += n.RandomValue();
  EXPECT_EQ(sum, 11.9297353931306917814L);
  EXPECT_EQ(RandomSeed1, 504799101);
  EXPECT_EQ(RandomSeed2, 909416409);
}

TEST(Variates, UniformsConsumedPerDraw) {
  // Shape exactly 1 (so chi-square 2) and the uniform take one uniform per
  // draw; chi-square 2 is -2 ln U.
  ResetUniformRandom();
  long double u[3];
  for (long double& v : u)
    v = UniformRandom();
  const int32_t seed1 = RandomSeed1;
  tChi_square_distribution c2(2);
  tGamma_distribution g1(1, 4);
  tUniform_distribution uniform(-1, 3);
  ResetUniformRandom();
  for (long double v : u)
    EXPECT_EQ(c2.RandomValue(), -2 * ExtendedLog(v));
  EXPECT_EQ(RandomSeed1, seed1);
  ResetUniformRandom();
  for (long double v : u)
    EXPECT_EQ(g1.RandomValue(), -ExtendedLog(v) / 4);
  ResetUniformRandom();
  for (long double v : u)
    EXPECT_EQ(uniform.RandomValue(), v * 4 - 1);
  EXPECT_EQ(RandomSeed1, seed1);
}

// Kolmogorov-Smirnov distance of 200,000 draws from the class's own Cdf
// (itself checked against closed forms).  The critical value at the 1% level
// is 1.628 / sqrt(n) = 0.00364; the draws are fixed, so the test is too.  The
// exact sum of the draws pins every branch of every generator to its bits.
TEST(Variates, DistributionOfTheDraws) {
  struct Case {
    std::shared_ptr<tDistribution> d;
    long double sum;
  } cases[] = {
      {std::make_shared<tNormal_distribution>(0, 1), 56.7320609274149876104L},
      {std::make_shared<tNormal_distribution>(-3, 0.25L), -599971.633969536293762L},
      {std::make_shared<tChi_square_distribution>(1), 199037.845322217454409L},
      {std::make_shared<tChi_square_distribution>(2), 399173.849235641583419L},
      {std::make_shared<tChi_square_distribution>(3), 599899.341150887498316L},
      {std::make_shared<tChi_square_distribution>(5), 999462.20823983879626L},
      {std::make_shared<tChi_square_distribution>(50), 9999375.57011627474822L},
      {std::make_shared<tGamma_distribution>(0.3L, 2), 29821.8231220654639468L},
      {std::make_shared<tUniform_distribution>(2, 5), 700360.929013446012618L},
  };
  const int n = 200000;
  for (const Case& c : cases) {
    const tDistribution& d = *c.d;
    std::vector<long double> x = Draws(d, n);
    long double sum = 0;
    for (long double v : x)
      sum += v;
    EXPECT_EQ(sum, c.sum);
    EXPECT_NEAR(sum / n, d.Mean(), 5 * d.StdDev() / std::sqrt(static_cast<long double>(n)));
    std::sort(x.begin(), x.end());
    long double ks = 0;
    for (int i = 0; i < n; ++i) {
      const long double f = d.Cdf(x[i]);
      ks = std::max(
          {ks, f - static_cast<long double>(i) / n, static_cast<long double>(i + 1) / n - f});
    }
    EXPECT_LT(ks, 0.00364L) << "mean " << static_cast<double>(d.Mean());
  }
}

}  // namespace
