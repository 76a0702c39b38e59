// The two Monte Carlo engines.
//
// A run has three parts:
//   1. set-up: the generator's start, the distribution objects, the scale
//      matrix A (or the calibrated A*), its inverse B and the factor L of B;
//   2. the draws: for each iteration a covariance matrix and a mean vector
//      from the posterior and the case's difference Z_i under them, stored
//      twice (unrounded for its normal probability, as a double for the
//      limits) -- always in order, on the calling thread, because every draw
//      continues the one random stream;
//   3. the summary: S = the sum of Phi(Z_i) in the order of i, the tail
//      percentage P with its flip, the two limits read off fixed order
//      statistics of the stored doubles, and Z-DCC from the sample
//      statistics.
// Phi(Z_i) and the order statistics do not touch the random stream, so
// helper threads evaluate Phi chunk by chunk while the draws go on, and the
// calling thread selects the two order statistics once the draws are done.
// S is summed afterwards in the original order, so the results are the same
// in every digit whatever the number of threads.
//
// Floating-point faults: the processor only sets sticky flags (per thread).
// Each chunk of draws and each chunk of Phi clears the flags first and
// tests them at its end; a chunk that faulted is done again one iteration
// at a time (from the generator state saved at its start) to find the first
// fault, so the run ends with the error the plain one-step-at-a-time loop
// would have met first.
#include "engines/Bayes_Engines.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engines/engine_kernels.h"
#include "engines/sd_of_difference.h"
#include "numeric/distrib.h"
#include "numeric/float_faults.h"
#include "numeric/matrix_handling.h"

using namespace engine_kernels;

namespace {

std::atomic<unsigned> g_engine_threads{0};

// Iterations per chunk: the unit of work handed to the helper threads and
// the span between two tests of the floating-point flags.
constexpr int32_t kChunk = 8192;

constexpr int kFaultFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

bool FaultFlagRaised() {
  return std::fetestexcept(kFaultFlags) != 0;
}

// The library's floating-point error for the raised flags (none when no
// fault flag is set); the flags are cleared.
std::exception_ptr FlagFault() {
  try {
    RaiseOnFloatingPointFault();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

// The error for a NaN: the fault the flags show, else an invalid operation.
std::exception_ptr NaNFault() {
  std::exception_ptr error = FlagFault();
  return error ? error : std::make_exception_ptr(EInvalidOp());
}

// Everything a draw needs that stays fixed for the whole run.
struct tRunConstants {
  tGammaSampler g1;
  tGammaSampler g2;
  tNormalSampler g3;
  long double uniform_a = 0;     // G4, the uniform of the acceptance test
  long double uniform_span = 1;  // b - a of G4
  tMatrix2 l, lt;
  long double root_n = 0;
  long double mean_x = 0, mean_y = 0, case_x = 0, case_y = 0;
  bool calibrated = false;
  bool unstandardized = false;
};

// One iteration's draws: the covariance matrix (under the calibrated prior
// until one is accepted), the mean vector, and the case's difference.
template <bool kCalibrated, bool kUnstandardized>
long double DrawIteration(const tRunConstants& k, tUniformStream& uniform) {
  tMatrix2 sigma;
  long double rho = 0;
  while (true) {
    const long double t1 = std::sqrt(k.g1.Draw(uniform));
    const long double t2 = std::sqrt(k.g2.Draw(uniform));
    const long double u = k.g3.Draw(uniform);
    const tMatrix2 t{t1, u, 0, t2};
    const tMatrix2 w = Multiply(Multiply(k.l, Multiply(Transpose(t), t)), k.lt);
    if (!Inverse(w, sigma)) [[unlikely]]
      throw ESingularMatrix();
    if constexpr (!kCalibrated) break;
    rho = sigma.a12 / std::sqrt(sigma.a11 * sigma.a22);
    const long double v = uniform.Next() * k.uniform_span + k.uniform_a;
    if (v * v <= 1 - rho * rho) break;
    // A NaN (or any fault) would be rejected for ever: end the run instead.
    RaiseOnFloatingPointFault();
    CheckNotNaN(rho);
  }
  const tMatrix2 c = Cholesky(sigma);
  const long double z1 = k.g3.Draw(uniform);
  const long double z2 = k.g3.Draw(uniform);
  const long double mu_x = z1 * c.a11 / k.root_n + k.mean_x;
  const long double mu_y = (z1 * c.a21 + z2 * c.a22) / k.root_n + k.mean_y;
  if constexpr (kUnstandardized) {
    return ((k.case_x - mu_x) - (k.case_y - mu_y)) /
           std::sqrt(sigma.a11 + sigma.a22 - 2 * sigma.a12);
  } else {
    const long double zx = (k.case_x - mu_x) / std::sqrt(sigma.a11);
    const long double zy = (k.case_y - mu_y) / std::sqrt(sigma.a22);
    if constexpr (!kCalibrated) rho = sigma.a12 / std::sqrt(sigma.a11 * sigma.a22);
    return (zx - zy) / std::sqrt(2 - 2 * rho);
  }
}

using tDrawFunction = long double (*)(const tRunConstants&, tUniformStream&);

tDrawFunction SelectDraw(const tRunConstants& k) {
  if (k.calibrated) {
    return k.unstandardized ? DrawIteration<true, true> : DrawIteration<true, false>;
  }
  return k.unstandardized ? DrawIteration<false, true> : DrawIteration<false, false>;
}

// The first fault of a run, by its place in the plain loop: 2i while drawing
// iteration i (counted from 0), 2i + 1 while evaluating Phi(Z_i).
class tFaultRecord {
 public:
  void Record(int64_t position, std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (position < position_) {
      position_ = position;
      error_ = std::move(error);
      first_.store(position, std::memory_order_relaxed);
    }
  }
  // True when a fault is known at or before `position`.
  bool Before(int64_t position) const { return first_.load(std::memory_order_relaxed) <= position; }
  int64_t Position() const { return first_.load(std::memory_order_relaxed); }
  std::exception_ptr Error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

 private:
  std::mutex mutex_;
  int64_t position_ = INT64_MAX;
  std::exception_ptr error_;
  std::atomic<int64_t> first_{INT64_MAX};
};

// The run's sample and the hand-over of finished chunks of draws to the
// threads that evaluate Phi.
class tSample {
 public:
  tSample(int32_t n_iter, const tRunConstants& constants)
      : n_iter_(n_iter),
        chunks_((n_iter + kChunk - 1) / kChunk),
        constants_(constants),
        draw_(SelectDraw(constants)),
        store_(new double[n_iter]),
        z_(new long double[n_iter]),
        chunk_start_(chunks_) {}

  // Makes every draw and evaluates every Phi, with `threads` threads in all
  // (the calling one included), and selects the order statistics at the
  // 1-based positions lo and hi.  Returns S, the sum of Phi(Z_i) in order.
  // On a fault, leaves the generator where the plain loop would have left it
  // and rethrows the first fault.
  long double Run(tUniformStream& uniform, unsigned threads, int32_t lo, int32_t hi,
                  long double& lower, long double& upper) {
    const unsigned helpers_wanted = std::min<unsigned>(threads - 1, chunks_ - 1);
    // Scratch rows for Phi, one per thread, allocated before any thread runs.
    std::unique_ptr<long double[]> scratch(new long double[kChunk * (helpers_wanted + 1)]);
    std::vector<std::thread> helpers;
    struct tJoin {
      tSample& sample;
      std::vector<std::thread>& helpers;
      ~tJoin() {
        sample.FinishDrawing();
        for (std::thread& t : helpers)
          t.join();
      }
    } join{*this, helpers};
    helpers.reserve(helpers_wanted);
    for (unsigned h = 0; h < helpers_wanted; ++h) {
      try {
        helpers.emplace_back(&tSample::EvaluateChunks, this, scratch.get() + kChunk * (h + 1));
      } catch (const std::system_error&) {
        break;  // fewer threads: the same results, only slower
      }
    }

    bool drawn = DrawAll(uniform);
    FinishDrawing();
    if (drawn) SelectLimits(lo, hi, lower, upper);
    EvaluateChunks(scratch.get());
    for (std::thread& t : helpers)
      t.join();
    helpers.clear();

    if (faults_.Position() != INT64_MAX) {
      const int64_t position = faults_.Position();
      if (position % 2 == 1) RedrawThrough(static_cast<int32_t>(position / 2), uniform);
      std::rethrow_exception(faults_.Error());
    }
    long double s = 0;
    for (int32_t i = 0; i < n_iter_; ++i)
      s = s + z_[i];
    return s;
  }

 private:
  // The draws, chunk by chunk, on the calling thread.  False when a fault
  // ended them.
  bool DrawAll(tUniformStream& uniform) {
    for (int32_t c = 0; c < chunks_; ++c) {
      const int32_t begin = c * kChunk;
      const int32_t end = std::min(begin + kChunk, n_iter_);
      if (faults_.Before(2 * int64_t{begin})) return false;  // an earlier Phi failed
      chunk_start_[c] = uniform;
      const int32_t done = DrawChunk(uniform, begin, end);
      Publish(done);
      if (done < end) return false;
    }
    return true;
  }

  // Draws iterations begin ... end - 1; returns end, or the iteration at
  // which the first fault occurred (recorded).
  int32_t DrawChunk(tUniformStream& uniform, int32_t begin, int32_t end) {
    const tUniformStream start = uniform;
    ClearFloatingPointFlags();
    bool trouble = false;
    try {
      for (int32_t i = begin; i < end; ++i) {
        const long double zi = draw_(constants_, uniform);
        if (std::isnan(zi)) [[unlikely]] {
          trouble = true;
          break;
        }
        z_[i] = zi;
        store_[i] = static_cast<double>(zi);
      }
    } catch (...) {
      trouble = true;
    }
    if (!trouble && !FaultFlagRaised()) [[likely]]
      return end;
    // Again, one iteration at a time, to find the first fault.
    uniform = start;
    for (int32_t i = begin; i < end; ++i) {
      ClearFloatingPointFlags();
      std::exception_ptr error;
      long double zi = 0;
      try {
        zi = draw_(constants_, uniform);
      } catch (...) {
        error = std::current_exception();
      }
      if (FaultFlagRaised()) {
        error = FlagFault();
      } else if (!error && std::isnan(zi)) {
        error = NaNFault();
      }
      if (error) {
        faults_.Record(2 * int64_t{i}, error);
        return i;
      }
      z_[i] = zi;
      store_[i] = static_cast<double>(zi);
    }
    return end;
  }

  void Publish(int32_t produced) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      produced_ = produced;
    }
    ready_.notify_all();
  }

  void FinishDrawing() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (drawing_done_) return;
      drawing_done_ = true;
    }
    ready_.notify_all();
  }

  // Takes chunks in order and replaces each Z_i by Phi(Z_i), waiting for
  // the draws where necessary.  Run by every thread.
  void EvaluateChunks(long double* scratch) {
    const tStandardNormalCdf phi;
    while (true) {
      const int32_t c = next_chunk_.fetch_add(1, std::memory_order_relaxed);
      if (c >= chunks_) return;
      const int32_t begin = c * kChunk;
      int32_t end = std::min(begin + kChunk, n_iter_);
      if (faults_.Before(2 * int64_t{begin})) return;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return produced_ >= end || drawing_done_; });
        end = std::min(end, produced_);
      }
      if (end <= begin) return;
      if (!EvaluateChunk(phi, begin, end, scratch)) return;
    }
  }

  bool EvaluateChunk(const tStandardNormalCdf& phi, int32_t begin, int32_t end,
                     long double* scratch) {
    ClearFloatingPointFlags();
    bool trouble = false;
    try {
      for (int32_t i = begin; i < end; ++i) {
        const long double zi = z_[i];
        if (std::isnan(zi)) [[unlikely]] {
          trouble = true;
          break;
        }
        scratch[i - begin] = phi(zi);
      }
    } catch (...) {
      trouble = true;
    }
    if (trouble || FaultFlagRaised()) [[unlikely]] {
      // Again, one value at a time, to find the first fault.
      for (int32_t i = begin; i < end; ++i) {
        ClearFloatingPointFlags();
        std::exception_ptr error;
        const long double zi = z_[i];
        if (std::isnan(zi)) {
          error = NaNFault();
        } else {
          try {
            scratch[i - begin] = phi(zi);
          } catch (...) {
            error = std::current_exception();
          }
          if (FaultFlagRaised()) error = FlagFault();
        }
        if (error) {
          faults_.Record(2 * int64_t{i} + 1, error);
          return false;
        }
      }
    }
    std::copy(scratch, scratch + (end - begin), z_.get() + begin);
    return true;
  }

  // The lo-th and hi-th smallest of the stored doubles: the values a full
  // ascending sort would put at those positions.
  void SelectLimits(int32_t lo, int32_t hi, long double& lower, long double& upper) {
    double* first = store_.get();
    double* last = first + n_iter_;
    std::nth_element(first, first + (lo - 1), last);
    lower = first[lo - 1];
    if (hi > lo) {
      std::nth_element(first + lo, first + (hi - 1), last);
    } else if (hi < lo) {
      std::nth_element(first, first + (hi - 1), first + (lo - 1));
    }
    upper = first[hi - 1];
  }

  // Leaves the generator as it stood after the draws of iteration i.
  void RedrawThrough(int32_t i, tUniformStream& uniform) {
    const int32_t c = i / kChunk;
    uniform = chunk_start_[c];
    try {
      for (int32_t j = c * kChunk; j <= i; ++j)
        draw_(constants_, uniform);
    } catch (...) {
      // These draws succeeded before; nothing new can fail here.
    }
  }

  const int32_t n_iter_;
  const int32_t chunks_;
  const tRunConstants& constants_;
  const tDrawFunction draw_;
  std::unique_ptr<double[]> store_;   // Z_i rounded to double
  std::unique_ptr<long double[]> z_;  // Z_i unrounded, then Phi(Z_i)
  std::vector<tUniformStream> chunk_start_;

  std::mutex mutex_;
  std::condition_variable ready_;
  int32_t produced_ = 0;
  bool drawing_done_ = false;
  std::atomic<int32_t> next_chunk_{0};
  tFaultRecord faults_;
};

tMatrix2 Block(const Matrix20& m) {
  return {m(1, 1), m(1, 2), m(2, 1), m(2, 2)};
}

// Rounds to the nearest integer, halves to the even neighbour.
long long RoundHalfEven(long double x) {
  return std::llrint(x);
}

// The shared body of both engines.
void RunEngine(bool calibrated, int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
               long double sd_x, long double mean_y, long double sd_y, long double r,
               long double case_x, long double case_y, bool two_sided, int32_t conf_pct,
               tEngine_results& results, tTestKind test) {
  if (fixed_seed) ResetUniformRandom();
  ClearFloatingPointFlags();

  // The distribution objects, in the order the prior names them; a sample
  // too small for the calibrated prior fails here with the library's error.
  const tChi_square_distribution g1(calibrated ? n - 2 : n);
  const tChi_square_distribution g2(calibrated ? n - 3 : n - 1);
  const tNormal_distribution g3(0, 1);
  const tUniform_distribution g4(0, 1);

  // The scale matrix of the controls' sums of squares and products, for
  // the calibrated prior rescaled to n - 2; its inverse and that inverse's
  // lower triangular factor.
  Matrix20 a, b, l, lt;
  MatrixZero(a);
  MatrixZero(b);
  MatrixZero(l);
  MatrixZero(lt);
  a(1, 1) = sd_x * sd_x * (n - 1);
  a(2, 2) = sd_y * sd_y * (n - 1);
  a(1, 2) = sd_x * sd_y * r * (n - 1);
  a(2, 1) = a(1, 2);
  if (calibrated) {
    const long double f = static_cast<long double>(n - 2) / (n - 1);
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j)
        a(i, j) = f * a(i, j);
  }
  if (!MatrixInverse(a, 2, b)) throw ESingularMatrix();
  Cholesky2x2(b, l);
  MatrixTranspose(l, 2, lt);
  RaiseOnFloatingPointFault();

  // With no draws there is nothing to summarise (for n_iter = 0 the tail
  // percentage would be 0/0, an invalid operation).
  if (n_iter < 1) throw EInvalidOp();

  const tRunConstants constants{tGammaSampler(g1),
                                tGammaSampler(g2),
                                tNormalSampler(g3),
                                g4.LowerEnd(),
                                g4.UpperEnd() - g4.LowerEnd(),
                                Block(l),
                                Block(lt),
                                std::sqrt(static_cast<long double>(n)),
                                mean_x,
                                mean_y,
                                case_x,
                                case_y,
                                calibrated,
                                test == tTestKind::Unstandardized};

  // The positions of the two limits among the ascending draws, kept inside
  // the sample whatever the level.
  const long double alpha = 100 - conf_pct;
  long long lo, hi;
  if (two_sided) {
    lo = RoundHalfEven(((alpha / 2) / 100) * n_iter);
    hi = RoundHalfEven(((conf_pct + alpha / 2) / 100) * n_iter) + 1;
  } else {
    lo = RoundHalfEven((alpha / 100) * n_iter);
    hi = RoundHalfEven((conf_pct / 100.0L) * n_iter) + 1;
  }
  lo = std::clamp<long long>(lo, 1, n_iter);
  hi = std::clamp<long long>(hi, 1, n_iter);

  tUniformStream uniform;
  uniform.Load();
  long double zdcc_lower = 0, zdcc_upper = 0;
  long double s;
  {
    tSample sample(n_iter, constants);
    unsigned threads = EngineThreads();
    try {
      s = sample.Run(uniform, threads, static_cast<int32_t>(lo), static_cast<int32_t>(hi),
                     zdcc_lower, zdcc_upper);
    } catch (...) {
      uniform.Store();
      throw;
    }
  }
  uniform.Store();

  // The summary, written to the caller's record only when complete.
  ClearFloatingPointFlags();
  tEngine_results out;
  long double p = s / n_iter * 100;
  bool flipped = false;
  if (p > 50) {
    p = 100 - p;
    flipped = true;
  }
  out.pct_estimate = p;
  out.one_tailed_p = p / 100;
  out.two_tailed_p = p / 50;
  if (test == tTestKind::Unstandardized) {
    out.zdcc = ((case_x - mean_x) - (case_y - mean_y)) / SD_of_difference(sd_x, sd_y, r);
  } else {
    const long double zx = (case_x - mean_x) / sd_x;
    const long double zy = (case_y - mean_y) / sd_y;
    out.zdcc = (zx - zy) / SD_of_difference(1, 1, r);
  }
  out.zdcc_lower = zdcc_lower;
  out.zdcc_upper = zdcc_upper;
  out.pct_lower = 100 * g3.Cdf(out.zdcc_lower);
  out.pct_upper = 100 * g3.Cdf(out.zdcc_upper);
  if (flipped) {
    const long double lower = out.pct_lower;
    out.pct_lower = 100 - out.pct_upper;
    out.pct_upper = 100 - lower;
  }
  RaiseOnFloatingPointFault();
  results = out;
}

}  // namespace

void SetEngineThreads(unsigned count) {
  g_engine_threads.store(count);
}

unsigned EngineThreads() {
  const unsigned count = g_engine_threads.load();
  if (count != 0) return count;
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : hardware;
}

void Standard_Theory_Engine(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                            long double sd_x, long double mean_y, long double sd_y, long double r,
                            long double case_x, long double case_y, bool two_sided,
                            int32_t conf_pct, tEngine_results& results, tTestKind test) {
  RunEngine(false, n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, results, test);
}

void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                             long double sd_x, long double mean_y, long double sd_y, long double r,
                             long double case_x, long double case_y, bool two_sided,
                             int32_t conf_pct, tEngine_results& results, tTestKind test) {
  RunEngine(true, n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, results, test);
}
