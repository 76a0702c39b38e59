// Benchmarks of the engines: whole 1,000,000-iteration runs of each engine
// (optimised, with one thread and with one per hardware thread, and the
// literal reference side by side), and the pieces that dominate a run: the
// normal Cdf through IncompleteGammaP, the variates, the 2 x 2 matrix step
// and the sort of the sample.
//
// Run:  build/bench/engines_benchmark --benchmark_repetitions=5
// (a whole run takes about a second, so each repetition times one run).
// On a machine whose speed drifts, compare two ways with the paired
// benchmarks instead: BM_SpeedUp (one thread over two) and
// BM_OneThreadAgainstPrevious (the engines before the split over now).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "engines/Bayes_Engines.h"
#include "engines/split_run.h"
#include "numeric/distrib.h"
#include "numeric/kernels.h"
#include "numeric/matrix_handling.h"
#include "previous_engines.h"
#include "reference/reference_engines.h"
#include "reference/reference_numeric.h"

namespace {

// The worked example: means 100 and 50, SDs 15 and 10, r 0.6, n 20, case 70
// and 55, two-sided limits.
constexpr int32_t kN = 20;
constexpr int32_t kIterations = 1000000;

using tEngine = void (*)(int32_t, int32_t, bool, long double, long double, long double, long double,
                         long double, long double, long double, bool, int32_t, tEngine_results&,
                         tTestKind);

// The program's engines, without a run control, in the reference engines' shape.
void StandardTheory(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                    long double sd_x, long double mean_y, long double sd_y, long double r,
                    long double case_x, long double case_y, bool two_sided, int32_t conf_pct,
                    tEngine_results& results, tTestKind test) {
  Standard_Theory_Engine(n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y,
                         two_sided, conf_pct, results, test);
}
void CalibratedPrior(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                     long double sd_x, long double mean_y, long double sd_y, long double r,
                     long double case_x, long double case_y, bool two_sided, int32_t conf_pct,
                     tEngine_results& results, tTestKind test) {
  Calibrated_Prior_Engine(n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y,
                          two_sided, conf_pct, results, test);
}

void RunWholeEngine(benchmark::State& state, tEngine engine, unsigned threads) {
  SetEngineThreads(threads);
  tEngine_results results;
  for (auto _ : state) {
    engine(kN, kIterations, true, 100, 15, 50, 10, 0.6, 70, 55, true, 95, results,
           tTestKind::Standardized);
    benchmark::DoNotOptimize(results);
  }
  SetEngineThreads(0);
  state.counters["one_tailed_p"] = static_cast<double>(results.one_tailed_p);
}

void BM_StandardTheory_OneThread(benchmark::State& state) {
  RunWholeEngine(state, StandardTheory, 1);
}
void BM_StandardTheory_AllThreads(benchmark::State& state) {
  RunWholeEngine(state, StandardTheory, std::thread::hardware_concurrency());
}
void BM_StandardTheory_Reference(benchmark::State& state) {
  RunWholeEngine(state, quorrel_reference::Standard_Theory_Engine, 1);
}
void BM_CalibratedPrior_OneThread(benchmark::State& state) {
  RunWholeEngine(state, CalibratedPrior, 1);
}
void BM_CalibratedPrior_AllThreads(benchmark::State& state) {
  RunWholeEngine(state, CalibratedPrior, std::thread::hardware_concurrency());
}
void BM_CalibratedPrior_Reference(benchmark::State& state) {
  RunWholeEngine(state, quorrel_reference::Calibrated_Prior_Engine, 1);
}

// Threads against one, for the example case and for strongly correlated
// controls under the calibrated prior (where most proposals are rejected),
// the engines as they are and as they were before the stream was split
// ("Previous"), side by side.  Arguments: prior (0 standard theory, 1
// calibrated), r in thousandths, threads.  The counters give the
// iterations a run made and threw away (per run) and the share of them.
void BM_Threads(benchmark::State& state, bool previous) {
  const bool calibrated = state.range(0) != 0;
  const long double r = state.range(1) / 1000.0L;
  const auto threads = static_cast<unsigned>(state.range(2));
  auto previous_engine = calibrated ? previous_engines::Calibrated_Prior_Engine
                                    : previous_engines::Standard_Theory_Engine;
  auto current_engine = calibrated ? Calibrated_Prior_Engine : Standard_Theory_Engine;
  SetEngineThreads(threads);
  previous_engines::SetEngineThreads(threads);
  tEngine_results results;
  for (auto _ : state) {
    if (previous)
      previous_engine(kN, kIterations, true, 100, 15, 50, 10, r, 70, 55, true, 95, results,
                      tTestKind::Standardized, nullptr);
    else
      current_engine(kN, kIterations, true, 100, 15, 50, 10, r, 70, 55, true, 95, results,
                     tTestKind::Standardized, nullptr, nullptr);
    benchmark::DoNotOptimize(results);
  }
  SetEngineThreads(0);
  previous_engines::SetEngineThreads(0);
  if (!previous) {
    const split_run::tSplitCounts counts = split_run::LastRunCounts();
    state.counters["discarded"] = static_cast<double>(counts.discarded);
    state.counters["discarded_pct"] = 100.0 * counts.discarded / kIterations;
    state.counters["beyond_end"] = static_cast<double>(counts.beyond_end);
    state.counters["unmet"] = counts.unmet;
    state.counters["stretches"] = counts.stretches;
  }
}
void BM_Threads_Now(benchmark::State& state) {
  BM_Threads(state, false);
}
void BM_Threads_Previous(benchmark::State& state) {
  BM_Threads(state, true);
}
void ThreadCases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"calibrated", "r_per_mille", "threads"});
  for (const auto& [calibrated, r] : {std::pair{0, 600}, {1, 600}, {1, 990}, {1, 999}})
    for (int threads : {1, 2})
      b->Args({calibrated, r, threads});
}

// The iterations a run throws away with more threads than the machine has
// cores.  The count depends a little on the timing: a stretch taken when
// every stretch before it is committed starts where the true sequence
// stands and guesses nothing.
void BM_Discarded(benchmark::State& state) {
  BM_Threads(state, false);
}
void DiscardedCases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"calibrated", "r_per_mille", "threads"});
  for (const auto& [calibrated, r] : {std::pair{0, 600}, {1, 600}, {1, 990}, {1, 999}})
    for (int threads : {8, 16})
      b->Args({calibrated, r, threads});
}

// Two ways of making the same run, timed back to back and in alternating
// order, a pair per iteration: the machine's speed drifts from minute to
// minute (this project's machines are virtual ones), and a ratio taken
// within a pair cancels the drift where the medians of separate series do
// not.  Reports the median ratio (first way's time over the second's) and
// its quartiles.
template <typename tFirst, typename tSecond>
void TimePairs(benchmark::State& state, tFirst first, tSecond second) {
  std::vector<double> ratios;
  auto seconds = [](auto run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  for (auto _ : state) {
    double a, b;
    if (ratios.size() % 2 == 0) {
      a = seconds(first);
      b = seconds(second);
    } else {
      b = seconds(second);
      a = seconds(first);
    }
    ratios.push_back(a / b);
    state.SetIterationTime(a + b);
  }
  std::sort(ratios.begin(), ratios.end());
  const size_t n = ratios.size();
  state.counters["ratio"] = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
  state.counters["q1"] = ratios[n / 4];
  state.counters["q3"] = ratios[(3 * n) / 4];
}

// The same case with one thread and with two: the ratio is the speed-up.
void BM_SpeedUp(benchmark::State& state) {
  const bool calibrated = state.range(0) != 0;
  const long double r = state.range(1) / 1000.0L;
  auto engine = calibrated ? Calibrated_Prior_Engine : Standard_Theory_Engine;
  tEngine_results results;
  auto with = [&](unsigned threads) {
    return [&, threads] {
      SetEngineThreads(threads);
      engine(kN, kIterations, true, 100, 15, 50, 10, r, 70, 55, true, 95, results,
             tTestKind::Standardized, nullptr, nullptr);
      benchmark::DoNotOptimize(results);
    };
  };
  TimePairs(state, with(1), with(2));
  SetEngineThreads(0);
}

// One thread, the engines before the stream was split against now: a ratio
// above 1 means that now is quicker.
void BM_OneThreadAgainstPrevious(benchmark::State& state) {
  const bool calibrated = state.range(0) != 0;
  const long double r = state.range(1) / 1000.0L;
  auto previous = calibrated ? previous_engines::Calibrated_Prior_Engine
                             : previous_engines::Standard_Theory_Engine;
  auto now = calibrated ? Calibrated_Prior_Engine : Standard_Theory_Engine;
  SetEngineThreads(1);
  previous_engines::SetEngineThreads(1);
  tEngine_results results;
  TimePairs(
      state,
      [&] {
        previous(kN, kIterations, true, 100, 15, 50, 10, r, 70, 55, true, 95, results,
                 tTestKind::Standardized, nullptr);
        benchmark::DoNotOptimize(results);
      },
      [&] {
        now(kN, kIterations, true, 100, 15, 50, 10, r, 70, 55, true, 95, results,
            tTestKind::Standardized, nullptr, nullptr);
        benchmark::DoNotOptimize(results);
      });
  SetEngineThreads(0);
  previous_engines::SetEngineThreads(0);
}

void PairCases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"calibrated", "r_per_mille"});
  for (const auto& [calibrated, r] : {std::pair{0, 600}, {1, 600}, {1, 990}, {1, 999}})
    b->Args({calibrated, r});
}

// Arguments of Phi as a run of the worked example meets them (mostly around
// -2.8, so mostly the continued fraction).
std::vector<long double> CaseDifferences() {
  std::vector<long double> z(4096);
  tNormal_distribution normal(-2.8L, 0.3L);
  ResetUniformRandom();
  for (long double& value : z)
    value = normal.RandomValue();
  return z;
}

void BM_NormalCdf_Library(benchmark::State& state) {
  const std::vector<long double> z = CaseDifferences();
  const tNormal_distribution normal(0, 1);
  const tDistribution& d = normal;  // through the virtual interface, as written
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(d.Cdf(z[i++ % z.size()]));
}
void BM_NormalCdf_Kernel(benchmark::State& state) {
  const std::vector<long double> z = CaseDifferences();
  const kernels::tStandardNormalCdf phi;
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(phi(z[i++ % z.size()]));
}
void BM_NormalCdf_Reference(benchmark::State& state) {
  const std::vector<long double> z = CaseDifferences();
  quorrel_reference::tNormal_distribution normal(0, 1);
  quorrel_reference::tDistribution& d = normal;
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(d.Cdf(z[i++ % z.size()]));
}

void BM_NormalVariate_Library(benchmark::State& state) {
  const tNormal_distribution normal(0, 1);
  const tDistribution& d = normal;
  ResetUniformRandom();
  for (auto _ : state)
    benchmark::DoNotOptimize(d.RandomValue());
}
void BM_NormalVariate_Kernel(benchmark::State& state) {
  const tNormal_distribution normal(0, 1);
  const kernels::tNormalSampler sampler(normal);
  kernels::tUniformStream uniform;
  for (auto _ : state)
    benchmark::DoNotOptimize(sampler.Draw(uniform));
}
void BM_ChiSquareVariate_Library(benchmark::State& state) {
  const tChi_square_distribution chi(kN);
  const tDistribution& d = chi;
  ResetUniformRandom();
  for (auto _ : state)
    benchmark::DoNotOptimize(d.RandomValue());
}
void BM_ChiSquareVariate_Kernel(benchmark::State& state) {
  const tChi_square_distribution chi(kN);
  const kernels::tGammaSampler sampler(chi);
  kernels::tUniformStream uniform;
  for (auto _ : state)
    benchmark::DoNotOptimize(sampler.Draw(uniform));
}

// W = (L (T'T)) L', Sigma = W^-1 and its Cholesky factor, as each iteration
// forms them.
void BM_MatrixStep_Library(benchmark::State& state) {
  Matrix20 l, lt, t, tt, p, w, sigma, c;
  for (Matrix20* m : {&l, &lt, &t, &tt, &p, &w, &sigma, &c})
    MatrixZero(*m);
  l(1, 1) = 0.0171;
  l(2, 1) = -0.0155;
  l(2, 2) = 0.0202;
  MatrixTranspose(l, 2, lt);
  t(1, 1) = 4.3;
  t(1, 2) = 0.3;
  t(2, 2) = 4.1;
  for (auto _ : state) {
    MatrixTranspose(t, 2, tt);
    MatrixMultiply(tt, t, 2, p);
    MatrixMultiply(l, p, 2, p);
    MatrixMultiply(p, lt, 2, w);
    benchmark::DoNotOptimize(MatrixInverse(w, 2, sigma));
    Cholesky2x2(sigma, c);
    benchmark::DoNotOptimize(c);
  }
}
void BM_MatrixStep_Kernel(benchmark::State& state) {
  using namespace kernels;
  const tMatrix2 l{0.0171L, 0, -0.0155L, 0.0202L};
  const tMatrix2 lt = Transpose(l);
  tMatrix2 t{4.3L, 0.3L, 0, 4.1L};
  for (auto _ : state) {
    benchmark::DoNotOptimize(t);
    const tMatrix2 w = Multiply(Multiply(l, Multiply(Transpose(t), t)), lt);
    tMatrix2 sigma;
    benchmark::DoNotOptimize(Inverse(w, sigma));
    benchmark::DoNotOptimize(Cholesky(sigma));
  }
}
void BM_MatrixStep_Reference(benchmark::State& state) {
  using namespace quorrel_reference;
  using M = quorrel_reference::Matrix20;
  M l, lt, t, tt, p, q, w, sigma, c;
  for (M* m : {&l, &lt, &t, &tt, &p, &q, &w, &sigma, &c})
    MatrixZero(*m);
  l(1, 1) = 0.0171;
  l(2, 1) = -0.0155;
  l(2, 2) = 0.0202;
  MatrixTranspose(l, 2, lt);
  t(1, 1) = 4.3;
  t(1, 2) = 0.3;
  t(2, 2) = 4.1;
  for (auto _ : state) {
    MatrixTranspose(t, 2, tt);
    MatrixMultiply(tt, t, 2, p);
    MatrixMultiply(l, p, 2, q);
    MatrixMultiply(q, lt, 2, w);
    benchmark::DoNotOptimize(MatrixInverse(w, 2, sigma));
    Cholesky2x2(sigma, c);
    benchmark::DoNotOptimize(c);
  }
}

// A run's sample: a million case differences in the order they are drawn.
std::vector<double> Sample() {
  std::vector<double> x(kIterations);
  tNormal_distribution normal(-2.8L, 0.3L);
  ResetUniformRandom();
  for (double& value : x)
    value = static_cast<double>(normal.RandomValue());
  return x;
}

void BM_Sort_LibraryQuickSort(benchmark::State& state) {
  const std::vector<double> sample = Sample();
  std::vector<double> x;
  for (auto _ : state) {
    state.PauseTiming();
    x = sample;
    state.ResumeTiming();
    QuickSort(1, kIterations, x.data());
    benchmark::DoNotOptimize(x.data());
  }
}
void BM_Sort_ReferenceQuickSort(benchmark::State& state) {
  const std::vector<double> sample = Sample();
  std::vector<double> x;
  for (auto _ : state) {
    state.PauseTiming();
    x = sample;
    state.ResumeTiming();
    quorrel_reference::QuickSort(1, kIterations, x.data());
    benchmark::DoNotOptimize(x.data());
  }
}
// What the engines do instead of a full sort: select the two order
// statistics they read (positions 25,000 and 975,001).
void BM_Sort_NthElementTwice(benchmark::State& state) {
  const std::vector<double> sample = Sample();
  std::vector<double> x;
  for (auto _ : state) {
    state.PauseTiming();
    x = sample;
    state.ResumeTiming();
    std::nth_element(x.begin(), x.begin() + 24999, x.end());
    std::nth_element(x.begin() + 25000, x.begin() + 975000, x.end());
    benchmark::DoNotOptimize(x.data());
  }
}
void BM_Sort_SelectTwoLimits(benchmark::State& state) {
  const std::vector<double> sample = Sample();
  std::vector<double> x;
  for (auto _ : state) {
    state.PauseTiming();
    x = sample;
    state.ResumeTiming();
    double lower, upper;
    kernels::SelectOrderStatistics(x.data(), kIterations, 25000, 975001, lower, upper);
    benchmark::DoNotOptimize(lower);
    benchmark::DoNotOptimize(upper);
  }
}

}  // namespace

BENCHMARK(BM_StandardTheory_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StandardTheory_AllThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StandardTheory_Reference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CalibratedPrior_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CalibratedPrior_AllThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CalibratedPrior_Reference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Threads_Now)
    ->Apply(ThreadCases)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Threads_Previous)
    ->Apply(ThreadCases)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Discarded)->Apply(DiscardedCases)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpeedUp)
    ->Apply(PairCases)
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneThreadAgainstPrevious)
    ->Apply(PairCases)
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalCdf_Library);
BENCHMARK(BM_NormalCdf_Kernel);
BENCHMARK(BM_NormalCdf_Reference);
BENCHMARK(BM_NormalVariate_Library);
BENCHMARK(BM_NormalVariate_Kernel);
BENCHMARK(BM_ChiSquareVariate_Library);
BENCHMARK(BM_ChiSquareVariate_Kernel);
BENCHMARK(BM_MatrixStep_Library);
BENCHMARK(BM_MatrixStep_Kernel);
BENCHMARK(BM_MatrixStep_Reference);
BENCHMARK(BM_Sort_LibraryQuickSort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_ReferenceQuickSort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_NthElementTwice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_SelectTwoLimits)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
