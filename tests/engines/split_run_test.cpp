// The splitting of a run over threads, on iterations that are not the
// engines': whatever the number of threads, the kept values, the sum, the
// stream's final position and the first fault are those of the plain loop
// that makes the iterations one after the other.
#include "engines/split_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

using kernels::tUniformStream;

// Rejection sampling in miniature: each iteration makes `draws` variates,
// each by attempts until one is accepted, an attempt taking one uniform
// for the even-numbered variates and two for the odd-numbered ones (so
// that a sequence begun in the wrong variate can fall into step), and
// accepting when its first uniform falls below `accept`.  A uniform in
// [fault_low, fault_high) throws, and a value in [nan_low, nan_high) is a NaN.
struct tToyIteration {
  tReal accept = 0.3L;
  int draws = 2;
  tReal fault_low = 2, fault_high = 2;
  tReal nan_low = 2, nan_high = 2;

  struct tDraws {
    tReal sum = 0;
  };
  tReal Next(tUniformStream& uniform) const {
    const tReal u = uniform.Next();
    if (u >= fault_low && u < fault_high) throw std::runtime_error("fault");
    return u;
  }
  tReal Variate(tUniformStream& uniform, int i) const {
    while (true) {
      const tReal u = Next(uniform);
      const tReal v = i % 2 ? Next(uniform) : 0;
      if (u < accept) return u + v;
    }
  }
  void Draw(tUniformStream& uniform, tDraws& d) const {
    d.sum = 0;
    for (int i = 0; i < draws; ++i)
      d.sum = d.sum + Variate(uniform, i);
  }
  tReal Value(const tDraws& d) const {
    const bool nan = d.sum >= nan_low && d.sum < nan_high;
    return nan ? std::numeric_limits<tReal>::quiet_NaN() : d.sum;
  }
  tReal Summand(tReal value) const { return value * value; }
};

struct tOutcome {
  std::vector<double> kept;
  tReal sum = 0;
  int64_t position = 0;
  std::string error;  // empty when the run completed
};

tOutcome Plain(const tToyIteration& iteration, int32_t n) {
  tOutcome o;
  tUniformStream stream;
  tToyIteration::tDraws d;
  try {
    for (int32_t i = 0; i < n; ++i) {
      iteration.Draw(stream, d);
      const tReal value = iteration.Value(d);
      if (real_math::isnan(value)) throw EInvalidOp();
      o.kept.push_back(static_cast<double>(value));
      o.sum = o.sum + iteration.Summand(value);
    }
  } catch (const std::exception& e) {
    o.error = e.what();
  }
  o.position = stream.Position();
  return o;
}

// With more than one thread, every stretch after the first is guessed.
tOutcome Split(const tToyIteration& iteration, int32_t n, unsigned threads,
               tRunControl* control = nullptr) {
  split_run::SetGuessEveryStretch(true);
  tOutcome o;
  std::vector<double> kept(n);
  tUniformStream stream;
  try {
    split_run::tSplitRun run(iteration, n, threads, control, kept.data());
    o.sum = run.Run(stream);
    o.kept = kept;
  } catch (const std::exception& e) {
    o.error = e.what();
  }
  o.position = stream.Position();
  split_run::SetGuessEveryStretch(false);
  return o;
}

void ExpectSame(const tOutcome& split, const tOutcome& plain) {
  EXPECT_EQ(split.error, plain.error);
  EXPECT_EQ(split.position, plain.position);
  if (plain.error.empty()) {
    EXPECT_TRUE(split.kept == plain.kept);
    EXPECT_EQ(split.sum, plain.sum);
  }
}

TEST(SplitRun, SameAsThePlainLoopWithAnyNumberOfThreads) {
  const int32_t n = 60000;
  for (const tToyIteration& iteration :
       {tToyIteration{}, tToyIteration{0.05L, 1}, tToyIteration{0.9L, 3}}) {
    const tOutcome plain = Plain(iteration, n);
    for (unsigned threads : {1u, 2u, 3u, 8u, 16u}) {
      SCOPED_TRACE(testing::Message()
                   << "accept " << iteration.accept << ", " << threads << " threads");
      ExpectSame(Split(iteration, n, threads), plain);
      const split_run::tSplitCounts counts = split_run::LastRunCounts();
      EXPECT_EQ(counts.kept, n);
      EXPECT_EQ(counts.uniforms, plain.position);
      if (threads == 1) {
        EXPECT_EQ(counts.discarded + counts.beyond_end + counts.unmet, 0);
      } else {
        EXPECT_GT(counts.stretches, 8);
        EXPECT_LT(counts.discarded, n / 20);
      }
    }
  }
}

// Every iteration takes exactly three uniforms, so a guessed sequence that
// starts where no true iteration begins never meets the true one: such
// stretches are made again in order, with the same results.
TEST(SplitRun, GuessesThatNeverMeet) {
  const tToyIteration iteration{2, 2};
  const tOutcome plain = Plain(iteration, 50000);
  for (unsigned threads : {2u, 16u}) {
    ExpectSame(Split(iteration, 50000, threads), plain);
    EXPECT_GT(split_run::LastRunCounts().unmet, 0) << threads;
  }
}

// Faults end the run with the first fault of the plain loop, with the
// stream where its draws stopped; faults met on a guessed sequence before
// it joined the true one, or past the run's end, change nothing.
TEST(SplitRun, FirstFaultOfThePlainLoop) {
  for (const tToyIteration& iteration :
       {tToyIteration{0.3L, 2, 0.5L, 0.5L + 2e-6L}, tToyIteration{0.3L, 2, 0.1L, 0.1L + 4e-7L},
        tToyIteration{0.3L, 2, 2, 2, 0.5L, 0.5L + 5e-5L}}) {
    for (int32_t n : {300, 40000, 200000}) {
      const tOutcome plain = Plain(iteration, n);
      for (unsigned threads : {1u, 2u, 3u, 8u, 16u}) {
        SCOPED_TRACE(testing::Message()
                     << "n " << n << ", " << threads << " threads, error '" << plain.error << "'");
        ExpectSame(Split(iteration, n, threads), plain);
      }
    }
  }
}

// A stop request ends the run with ERunStopped; the count of iterations
// done never goes down and stays below the run's.
TEST(SplitRun, StopRequest) {
  for (unsigned threads : {1u, 2u, 16u}) {
    tRunControl control;
    control.stop = true;
    EXPECT_EQ(Split(tToyIteration{}, 1000, threads, &control).error, ERunStopped().what());
    EXPECT_EQ(control.drawn.load(), 0);

    tRunControl followed;
    EXPECT_EQ(Split(tToyIteration{}, 1000, threads, &followed).error, "");
    EXPECT_EQ(followed.drawn.load(), 1000);
  }
}

}  // namespace
