// The inlined routines that the library and the engines share, against the
// plain step-by-step computation kept beside the benchmarks: the same
// numbers in every bit, on long sequences and on the edges where a shortcut
// decides (the stopping test, the logarithm tests, the pivot choice).
#include "numeric/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

#include "numeric/distrib.h"
#include "numeric/extended_math.h"
#include "numeric/matrix_handling.h"
#include "reference/reference_numeric.h"

namespace {

using namespace kernels;
namespace ref = quorrel_reference;

// The reference generator at the start values.
void ResetReference() {
  ref::RandomSeed1 = kRandomSeed1Start;
  ref::RandomSeed2 = kRandomSeed2Start;
}

TEST(UniformStream, SameSequenceAndStateAsTheLibrary) {
  ResetUniformRandom();
  tUniformStream stream;
  for (int i = 0; i < 100000; ++i)
    ASSERT_EQ(stream.Next(), UniformRandom()) << i;
  // The state words handed back are those after the last uniform taken,
  // also in the middle of a buffer, and a loaded state continues from there.
  const int32_t seed1 = RandomSeed1, seed2 = RandomSeed2;
  RandomSeed1 = RandomSeed2 = 1;
  stream.Store();
  EXPECT_EQ(RandomSeed1, seed1);
  EXPECT_EQ(RandomSeed2, seed2);
  for (int i = 0; i < 1000; ++i)
    UniformRandom();
  tUniformStream loaded;
  loaded.Load();
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(loaded.Next(), UniformRandom());
}

// Entering the stream at a position gives the uniforms from there on, and
// the state words, as drawing up to it does.
TEST(UniformStream, SeekAsDrawingThrough) {
  tUniformStream drawn;
  drawn.SetState(12345, 67890);
  for (int64_t position : {0, 1, 255, 256, 257, 1000, 4099, 100000}) {
    while (drawn.Position() < position)
      drawn.Next();
    tUniformStream sought = drawn;
    sought.SetState(12345, 67890);
    sought.Seek(position);
    EXPECT_EQ(sought.Position(), position);
    int32_t s1, s2, t1, t2;
    drawn.State(s1, s2);
    sought.State(t1, t2);
    EXPECT_EQ(t1, s1) << position;
    EXPECT_EQ(t2, s2) << position;
    tUniformStream ahead = drawn;
    for (int i = 0; i < 600; ++i)
      ASSERT_EQ(sought.Next(), ahead.Next()) << position << " " << i;
  }
}

TEST(Variates, NormalSameDrawsAsTheReference) {
  const tNormalSampler sampler{tNormal_distribution(0, 1)};
  ref::tNormal_distribution normal(0, 1);
  ResetReference();
  tUniformStream stream;
  for (int i = 0; i < 200000; ++i)
    ASSERT_EQ(sampler.Draw(stream), normal.RandomValue()) << i;
}

// Degrees of freedom 1 (shape below 1), 2 (exponential) and 3 or more
// (ratio of uniforms), as the engines' chi-squares have them.
TEST(Variates, ChiSquareSameDrawsAsTheReference) {
  for (int nu : {1, 2, 3, 5, 18, 19, 20, 200}) {
    const tGammaSampler sampler{tChi_square_distribution(nu)};
    ref::tChi_square_distribution chi(nu);
    ResetReference();
    tUniformStream stream;
    for (int i = 0; i < 50000; ++i)
      ASSERT_EQ(sampler.Draw(stream), chi.RandomValue()) << "nu " << nu << " draw " << i;
  }
}

TEST(NormalCdf, SameValuesAsTheReference) {
  ref::tNormal_distribution normal(0, 1);
  const tStandardNormalCdf phi;
  // Both sides of the switch from the series to the continued fraction
  // (z^2/2 = 1.5), the tails, zero and values near it.
  const tReal edges[] = {0,
                         -0.0L,
                         1e-12L,
                         -1e-12L,
                         4e-6L,
                         1e-5L,
                         real_math::sqrt(3.0L),
                         -real_math::sqrt(3.0L),
                         real_math::nextafter(real_math::sqrt(3.0L), 0.0L),
                         1.96L,
                         -1.96L,
                         8,
                         -8,
                         38,
                         -40,
                         65535,
                         -65535};
  for (tReal z : edges)
    EXPECT_EQ(phi(z), normal.Cdf(z)) << z;
  for (tReal z = -12; z <= 12; z += 0.0013L)
    ASSERT_EQ(phi(z), normal.Cdf(z)) << z;
  ResetUniformRandom();
  for (int i = 0; i < 20000; ++i) {
    const tReal z = (UniformRandom() - 0.5L) * 14;
    ASSERT_EQ(phi(z), normal.Cdf(z)) << z;
  }
  // Outside the support the base answers; far inside it the library's
  // argument check does.
  EXPECT_EQ(phi(3e9L), 1);
  EXPECT_EQ(phi(-3e9L), 0);
  EXPECT_THROW(phi(70000), EArgumentError);
}

// The stopping test decided by a multiplication must agree with the
// quotient, also a hair's breadth from the tolerance.
TEST(NormalCdf, StoppingTestAgreesWithTheQuotient) {
  auto written = [](tReal g, tReal g_old) { return real_math::fabs((g - g_old) / g) < kTolerance; };
  const tReal sizes[] = {0.75L, 1, 3.5e-3L, 123.25L, 0x1p-1000L, 0x1p1000L};
  for (tReal g : sizes) {
    for (tReal ratio : std::initializer_list<tReal>{
             kTolerance, real_math::nextafter(kTolerance, 0.0L),
             real_math::nextafter(kTolerance, 1.0L), kTolerance * (1 - 0x1p-45L),
             kTolerance * (1 + 0x1p-45L), kTolerance / 2, kTolerance * 2, 0.0L, 1.0L}) {
      for (tReal sign : {1.0L, -1.0L}) {
        const tReal g_old = g - sign * ratio * g;
        EXPECT_EQ(ContinuedFractionConverged(g, g_old), written(g, g_old))
            << g << " " << ratio << " " << sign;
      }
    }
  }
}

// Both forms of the continued fraction's loop give the reference's g (which
// GammaContinuedFraction returns times its factor).
TEST(NormalCdf, ContinuedFractionLoopsAgree) {
  ResetUniformRandom();
  for (int i = 0; i < 20000; ++i) {
    const tReal x = i < 10000 ? 1.5L + UniformRandom() * 40 : 1.5L / UniformRandom();
    tReal g = 0;
    ASSERT_TRUE(ContinuedFractionHalfSteps(x, g)) << x;
    const tReal factor = ExtendedExp(0.5L * ExtendedLog(x) - x - LogGamma(0.5L));
    ASSERT_EQ(factor * g, ref::GammaContinuedFraction(x, 0.5L)) << x;
  }
  // A NaN gives up instead of looping for ever.
  const tReal nan = std::numeric_limits<tReal>::quiet_NaN();
  tReal g = 0;
  EXPECT_FALSE(ContinuedFractionHalfSteps(nan, g));
}

// The normal generator's exact test s > -4 ln u near its boundary.
TEST(Variates, LogarithmTestAgreesWithTheExtendedLogarithm) {
  ResetUniformRandom();
  for (int i = 0; i < 20000; ++i) {
    const tReal u = UniformRandom();
    const tReal boundary = -4 * ExtendedLog(u);
    for (tReal s :
         {boundary, real_math::nextafter(boundary, 0.0L), real_math::nextafter(boundary, 100.0L),
          boundary * (1 + 0x1p-42L), boundary * (1 - 0x1p-42L), boundary / 2}) {
      ASSERT_EQ(ExceedsMinus4LogU(s, u), s > boundary) << u << " " << s;
    }
  }
}

ref::Matrix20 Full(const tMatrix2& m) {
  ref::Matrix20 r;
  ref::MatrixZero(r);
  r(1, 1) = m.a11, r(1, 2) = m.a12, r(2, 1) = m.a21, r(2, 2) = m.a22;
  return r;
}

void ExpectSameBlock(const tMatrix2& m, const ref::Matrix20& r) {
  EXPECT_EQ(m.a11, r(1, 1));
  EXPECT_EQ(m.a12, r(1, 2));
  EXPECT_EQ(m.a21, r(2, 1));
  EXPECT_EQ(m.a22, r(2, 2));
}

TEST(MatrixStep, SameEntriesAsTheReference) {
  ResetUniformRandom();
  for (int i = 0; i < 2000; ++i) {
    const tMatrix2 a{UniformRandom() * 4 - 2, UniformRandom() - 0.5L, UniformRandom() * 3 - 1,
                     UniformRandom() * 2 + 0.1L};
    const tMatrix2 b{UniformRandom(), UniformRandom() - 1, UniformRandom() * 5, UniformRandom()};
    ref::Matrix20 product, transpose, inverse, factor;
    ref::MatrixMultiply(Full(a), Full(b), 2, product);
    ExpectSameBlock(Multiply(a, b), product);
    ref::MatrixTranspose(Full(a), 2, transpose);
    ExpectSameBlock(Transpose(a), transpose);
    tMatrix2 inv;
    ASSERT_EQ(Inverse(a, inv), ref::MatrixInverse(Full(a), 2, inverse));
    ExpectSameBlock(inv, inverse);
    const tMatrix2 spd = Multiply(a, Transpose(a));
    ref::Cholesky2x2(Full(spd), factor);
    const tMatrix2 l = Cholesky(spd);
    EXPECT_EQ(l.a11, factor(1, 1));
    EXPECT_EQ(l.a21, factor(2, 1));
    EXPECT_EQ(l.a22, factor(2, 2));
    if (HasFailure()) break;
  }
}

// The pivot rules: the row swap, the first entry of at least 1e-10, the
// largest entry when none qualifies, and the singular cases.
TEST(MatrixStep, InverseEdgesAsTheReference) {
  const tReal nan = std::numeric_limits<tReal>::quiet_NaN();
  const tMatrix2 cases[] = {{0, 1, 1, 0},
                            {1e-11L, 1, 1, 2},
                            {3e-11L, 2e-11L, 4e-11L, 1e-11L},
                            {1e-11L, 5e-11L, 5e-11L, 3e-10L},
                            {2e-12L, 1e-12L, 1e-12L, 1e-12L},
                            {0, 1, 0, 1},
                            {0, 0, 0, 0},
                            {1, 2, 2, 4},
                            {4, 2, 2, 3},
                            {nan, 1, 1, 1},
                            {1, 1, 1, nan}};
  for (const tMatrix2& a : cases) {
    ref::Matrix20 inverse;
    tMatrix2 inv;
    const bool reference = ref::MatrixInverse(Full(a), 2, inverse);
    EXPECT_EQ(Inverse(a, inv), reference) << a.a11 << " " << a.a12 << " " << a.a21 << " " << a.a22;
    if (reference) ExpectSameBlock(inv, inverse);
  }
}

// The two order statistics are those of a full sort, also with many equal
// values, at the extremes, and where the sample misleads the brackets.
TEST(Sort, SelectedLimitsAreThoseOfTheSortedSample) {
  ResetUniformRandom();
  const tNormal_distribution normal(-2.8L, 0.3L);
  auto check = [](std::vector<double> x, int32_t lo, int32_t hi) {
    std::vector<double> sorted = x;
    std::sort(sorted.begin(), sorted.end());
    double at_lo = 0, at_hi = 0;
    SelectOrderStatistics(x.data(), static_cast<int32_t>(x.size()), lo, hi, at_lo, at_hi);
    EXPECT_EQ(at_lo, sorted[lo - 1]) << x.size() << " " << lo;
    EXPECT_EQ(at_hi, sorted[hi - 1]) << x.size() << " " << hi;
  };
  std::vector<double> draws(1000000);
  for (double& v : draws)
    v = static_cast<double>(normal.RandomValue());
  check(draws, 25000, 975001);
  check(draws, 50000, 950001);
  check(draws, 1, 1000000);
  check(draws, 975001, 25000);
  std::vector<double> coarse(200000);  // long runs of equal values
  for (double& v : coarse)
    v = std::round(static_cast<double>(normal.RandomValue()) * 4) / 4;
  check(coarse, 5000, 195001);
  std::vector<double> misleading(draws);  // the sampled positions hold outliers
  for (size_t i = 0; i < misleading.size(); i += misleading.size() / 8192)
    misleading[i] = 1e300;
  check(misleading, 25000, 975001);
  check(std::vector<double>(draws.begin(), draws.begin() + 1000), 25, 976);
}

}  // namespace
