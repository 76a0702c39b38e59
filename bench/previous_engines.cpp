// The engines as they were before the random stream was split among the
// threads: the draws in order on the calling thread, the rest handed to
// helper threads.  Kept only so that the benchmark can time both side by
// side; nothing in the program calls it.
//
// A run has three parts:
//   1. set-up: the generator's start, the distribution objects, the scale
//      matrix A (or the calibrated A*), its inverse B and the factor L of B;
//   2. the iterations: for each a covariance matrix and a mean vector from
//      the posterior, the case's difference Z_i under them, Z_i stored as a
//      double for the limits and Phi(Z_i) kept unrounded for the sum;
//   3. the summary: S = the sum of Phi(Z_i) in the order of i, the tail
//      percentage P with its flip, the two limits read off fixed order
//      statistics of the stored doubles, and Z-DCC from the sample
//      statistics.
// Every draw continues the one random stream, so the calling thread makes
// the draws of all iterations in order.  What follows the draws of an
// iteration (the matrix algebra that no later draw depends on, Z_i and
// Phi(Z_i)) touches no random number: the calling thread hands it over in
// chunks, and every thread, the calling one included, finishes chunks.  S is
// summed afterwards in the original order, so the results are the same in
// every digit whatever the number of threads.
//
// Floating-point faults: the processor only sets sticky flags (per thread).
// Each chunk of draws and each chunk of finishing clears the flags first
// and tests them at its end; a chunk that faulted is done again one
// iteration at a time (the draws from the generator state saved at its
// start) to find the first fault, so the run ends with the error the plain
// one-step-at-a-time loop would have met first.
#include "previous_engines.h"

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

#include "engines/sd_of_difference.h"
#include "numeric/distrib.h"
#include "numeric/float_faults.h"
#include "numeric/kernels.h"
#include "numeric/matrix_handling.h"

namespace previous_engines {

using namespace kernels;

namespace {

std::atomic<unsigned> g_engine_threads{0};

// Iterations per chunk: the unit of work handed to the helper threads and
// the span between two tests of the floating-point flags.
constexpr int32_t kChunk = 4096;

// The draws are made in order on one thread and are about a third of the
// work, so more threads than this cannot shorten a run.
constexpr unsigned kMaxThreads = 8;

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
};

// One iteration is done in two parts.  The drawing part, on the calling
// thread, makes every draw of the iteration in the order of the random
// stream, and whatever decides how many draws there are: under the
// calibrated prior the inverse of W, rho and the acceptance test.  It hands
// over a record of what it drew.  The finishing part, on any thread, turns
// the record into Z_i: under the standard-theory prior W, its inverse Sigma
// and rho; then the Cholesky factor, the mean vector and the case's
// difference.  Together they are one iteration of the plain loop, operation
// for operation.
template <bool kCalibrated>
struct tDrawRecord;

// Standard theory: the two chi-square variates, u, z1 and z2.
template <>
struct tDrawRecord<false> {
  long double chi1, chi2, u, z1, z2;
};

// Calibrated: the accepted Sigma with its rho, z1 and z2.
template <>
struct tDrawRecord<true> {
  tMatrix2 sigma;
  long double rho, z1, z2;
};

// Sigma = inverse of L (T'T) L', T = [t1 u; 0 t2].
inline tMatrix2 DrawnSigma(const tRunConstants& k, long double t1, long double t2, long double u) {
  const tMatrix2 t{t1, u, 0, t2};
  const tMatrix2 w = Multiply(Multiply(k.l, Multiply(Transpose(t), t)), k.lt);
  tMatrix2 sigma;
  if (!Inverse(w, sigma)) [[unlikely]]
    throw ESingularMatrix();
  return sigma;
}

inline long double Rho(const tMatrix2& sigma) {
  return sigma.a12 / std::sqrt(sigma.a11 * sigma.a22);
}

inline void DrawPart(const tRunConstants& k, tUniformStream& uniform, tDrawRecord<false>& r) {
  r.chi1 = k.g1.Draw(uniform);
  r.chi2 = k.g2.Draw(uniform);
  r.u = k.g3.Draw(uniform);
  r.z1 = k.g3.Draw(uniform);
  r.z2 = k.g3.Draw(uniform);
}

inline void DrawPart(const tRunConstants& k, tUniformStream& uniform, tDrawRecord<true>& r) {
  while (true) {
    const long double t1 = std::sqrt(k.g1.Draw(uniform));
    const long double t2 = std::sqrt(k.g2.Draw(uniform));
    const long double u = k.g3.Draw(uniform);
    r.sigma = DrawnSigma(k, t1, t2, u);
    r.rho = Rho(r.sigma);
    const long double v = uniform.Next() * k.uniform_span + k.uniform_a;
    if (v * v <= 1 - r.rho * r.rho) break;
    // A rho that no v can accept comes from a fault (a NaN would be
    // rejected for ever): end the run with it.  Faults behind an acceptable
    // rho are found at the end of the chunk.
    if (!(std::fabs(r.rho) < 1)) [[unlikely]] {
      RaiseOnFloatingPointFault();
      CheckNotNaN(r.rho);
    }
  }
  r.z1 = k.g3.Draw(uniform);
  r.z2 = k.g3.Draw(uniform);
}

template <bool kUnstandardized>
inline long double CaseDifference(const tRunConstants& k, const tMatrix2& sigma, long double rho,
                                  long double z1, long double z2) {
  const tMatrix2 c = Cholesky(sigma);
  const long double mu_x = z1 * c.a11 / k.root_n + k.mean_x;
  const long double mu_y = (z1 * c.a21 + z2 * c.a22) / k.root_n + k.mean_y;
  const long double zx = (k.case_x - mu_x) / std::sqrt(sigma.a11);
  const long double zy = (k.case_y - mu_y) / std::sqrt(sigma.a22);
  if constexpr (kUnstandardized) {
    // The raw difference does not use zx, zy and rho, but they are formed
    // all the same, so that a fault in them (an overflowing or vanishing
    // product of the variances, say) ends the run as it ends the plain
    // computation.  The test keeps the compiler from dropping them; the
    // flags themselves are read at the end of the chunk.
    if (!(std::isfinite(zx) && std::isfinite(zy) && std::isfinite(rho))) [[unlikely]]
      RaiseOnFloatingPointFault();
    return ((k.case_x - mu_x) - (k.case_y - mu_y)) /
           std::sqrt(sigma.a11 + sigma.a22 - 2 * sigma.a12);
  } else {
    return (zx - zy) / std::sqrt(2 - 2 * rho);
  }
}

template <bool kUnstandardized>
inline long double FinishPart(const tRunConstants& k, const tDrawRecord<false>& r) {
  const tMatrix2 sigma = DrawnSigma(k, std::sqrt(r.chi1), std::sqrt(r.chi2), r.u);
  return CaseDifference<kUnstandardized>(k, sigma, Rho(sigma), r.z1, r.z2);
}

template <bool kUnstandardized>
inline long double FinishPart(const tRunConstants& k, const tDrawRecord<true>& r) {
  return CaseDifference<kUnstandardized>(k, r.sigma, r.rho, r.z1, r.z2);
}

// The first fault of a run, by its place in the plain loop: for iteration i
// (counted from 0) 3i in the drawing part, 3i + 1 in the finishing part and
// 3i + 2 in Phi(Z_i).
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
  bool Any() const { return first_.load(std::memory_order_relaxed) != INT64_MAX; }
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

// The iterations of one run.  The calling thread draws chunk after chunk
// into a ring of record slots; every thread (the calling one when it would
// otherwise wait, and after its last draw) takes the drawn chunks in order,
// finishes them into Z_i, stores Z_i as a double and Phi(Z_i) unrounded.
template <bool kCalibrated, bool kUnstandardized>
class tSample {
  using tRecord = tDrawRecord<kCalibrated>;

 public:
  tSample(int32_t n_iter, const tRunConstants& constants, unsigned threads, tRunControl* control)
      : n_iter_(n_iter),
        control_(control),
        chunks_((n_iter + kChunk - 1) / kChunk),
        threads_(std::clamp<unsigned>(threads, 1, std::min<unsigned>(kMaxThreads, chunks_))),
        slots_(2 * threads_ + 2),
        constants_(constants),
        store_(new double[n_iter]),
        phi_(new long double[n_iter]),
        records_(new tRecord[static_cast<size_t>(kChunk) * slots_]),
        slot_free_(slots_, true),
        chunk_finished_(chunks_, false),
        chunk_start_(chunks_) {}

  // Makes every iteration and selects the order statistics at the 1-based
  // positions lo and hi.  Returns S, the sum of Phi(Z_i) in the order of i.  On a
  // fault, leaves the generator where the plain loop would have left it
  // after that iteration's draws and rethrows the first fault.
  long double Run(tUniformStream& uniform, int32_t lo, int32_t hi, long double& lower,
                  long double& upper) {
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
    helpers.reserve(threads_ - 1);
    helper_errors_.resize(threads_ - 1);
    for (unsigned h = 0; h + 1 < threads_; ++h) {
      try {
        helpers.emplace_back(&tSample::HelperMain, this, h);
      } catch (const std::system_error&) {
        break;  // fewer threads: the same results, only later
      }
    }

    DrawAll(uniform);
    FinishDrawing();
    FinishChunks();
    for (std::thread& t : helpers)
      t.join();
    helpers.clear();

    // A helper that could not go on (nothing but a failed allocation can
    // stop one) leaves the run incomplete.
    for (const std::exception_ptr& error : helper_errors_)
      if (error) std::rethrow_exception(error);
    if (faults_.Any()) {
      const int64_t position = faults_.Position();
      if (position % 3 != 0) RedrawThrough(static_cast<int32_t>(position / 3), uniform);
      std::rethrow_exception(faults_.Error());
    }
    if (stopped_) throw ERunStopped();
    SelectLimits(lo, hi, lower, upper);
    return sum_;  // every chunk is finished and in the sum
  }

 private:
  tRecord* Slot(int32_t chunk) {
    return records_.get() + static_cast<size_t>(kChunk) * (chunk % slots_);
  }

  // The drawing parts, chunk by chunk, on the calling thread.
  void DrawAll(tUniformStream& uniform) {
    for (int32_t c = 0; c < chunks_; ++c) {
      const int32_t begin = c * kChunk;
      const int32_t end = std::min(begin + kChunk, n_iter_);
      if (!AcquireSlot(c)) return;  // an earlier fault ended the run
      chunk_start_[c] = uniform;
      const int32_t done = DrawChunk(uniform, begin, end, Slot(c));
      {
        std::lock_guard<std::mutex> lock(mutex_);
        drawn_ = done;
      }
      changed_.notify_all();
      if (control_) control_->drawn.store(done, std::memory_order_relaxed);
      if (done < end) return;
    }
  }

  // Waits until the slot of chunk c is free, finishing drawn chunks in the
  // meantime.  False when a fault before chunk c is known.
  bool AcquireSlot(int32_t c) {
    const int64_t position = 3 * int64_t{c} * kChunk;
    const int32_t slot = c % slots_;
    while (true) {
      if (faults_.Before(position)) return false;
      int32_t steal = -1;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (slot_free_[slot]) {
          slot_free_[slot] = false;
          return true;
        }
        changed_.wait(lock,
                      [&] { return slot_free_[slot] || Stealable() || faults_.Before(position); });
        if (!slot_free_[slot] && Stealable()) steal = next_chunk_++;
      }
      if (steal >= 0) FinishClaimed(steal);
    }
  }

  // A drawn chunk nobody has taken yet (mutex held).
  bool Stealable() const { return next_chunk_ < chunks_ && (next_chunk_ + 1) * kChunk <= drawn_; }

  // Draws iterations begin ... end - 1 into `records`; returns end, or the
  // iteration at which the first fault occurred (recorded).
  int32_t DrawChunk(tUniformStream& uniform, int32_t begin, int32_t end, tRecord* records) {
    const tUniformStream start = uniform;
    ClearFloatingPointFlags();
    bool trouble = false;
    try {
      for (int32_t i = begin; i < end; ++i) {
        // A stop request ends the drawing here; what was drawn is finished
        // and thrown away.
        if (control_ && control_->stop.load(std::memory_order_relaxed)) [[unlikely]] {
          stopped_ = true;
          return i;
        }
        DrawPart(constants_, uniform, records[i - begin]);
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
      try {
        DrawPart(constants_, uniform, records[i - begin]);
      } catch (...) {
        error = std::current_exception();
      }
      if (FaultFlagRaised()) error = FlagFault();
      if (error) {
        faults_.Record(3 * int64_t{i}, error);
        changed_.notify_all();
        return i;
      }
    }
    return end;
  }

  void FinishDrawing() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (drawing_done_) return;
      drawing_done_ = true;
    }
    changed_.notify_all();
  }

  void HelperMain(unsigned helper) noexcept {
    try {
      FinishChunks();
    } catch (...) {
      helper_errors_[helper] = std::current_exception();
    }
  }

  // Takes chunks in order and finishes them, waiting for the draws where
  // necessary, until none is left.
  void FinishChunks() {
    while (true) {
      int32_t c;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (next_chunk_ >= chunks_) return;
        c = next_chunk_++;
      }
      FinishClaimed(c);
    }
  }

  // Finishes chunk c; its slot is free again afterwards, whatever happens.
  void FinishClaimed(int32_t c) {
    struct tRelease {
      tSample& sample;
      int32_t slot;
      ~tRelease() {
        {
          std::lock_guard<std::mutex> lock(sample.mutex_);
          sample.slot_free_[slot] = true;
        }
        sample.changed_.notify_all();
      }
    } release{*this, c % slots_};
    const int32_t begin = c * kChunk;
    int32_t end = std::min(begin + kChunk, n_iter_);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return drawn_ >= end || drawing_done_; });
      end = std::min(end, drawn_);
    }
    if (end > begin && !faults_.Before(3 * int64_t{begin}) && FinishChunk(begin, end, Slot(c)) &&
        end == std::min(begin + kChunk, n_iter_))
      AddToSum(c);
  }

  // Chunk c is finished: S takes in its Phi values, and those of the
  // finished chunks after it, as soon as every chunk before it is in S, so
  // that the sum runs in the order of the iterations while the others work.
  // One thread at a time adds.
  void AddToSum(int32_t c) {
    std::unique_lock<std::mutex> lock(mutex_);
    chunk_finished_[c] = true;
    if (summing_) return;
    summing_ = true;
    while (summed_ < chunks_ && chunk_finished_[summed_]) {
      const int32_t begin = summed_ * kChunk;
      const int32_t end = std::min(begin + kChunk, n_iter_);
      lock.unlock();
      long double s = sum_;
      for (int32_t i = begin; i < end; ++i)
        s = s + phi_[i];
      sum_ = s;
      lock.lock();
      ++summed_;
    }
    summing_ = false;
  }

  // Finishes iterations begin ... end - 1; false when a fault (recorded)
  // ended them.
  bool FinishChunk(int32_t begin, int32_t end, const tRecord* records) {
    ClearFloatingPointFlags();
    bool trouble = false;
    try {
      for (int32_t i = begin; i < end; ++i) {
        const long double zi = FinishPart<kUnstandardized>(constants_, records[i - begin]);
        if (std::isnan(zi)) [[unlikely]] {
          trouble = true;
          break;
        }
        store_[i] = static_cast<double>(zi);
        phi_[i] = phi_of_(zi);
      }
    } catch (...) {
      trouble = true;
    }
    if (!trouble && !FaultFlagRaised()) [[likely]]
      return true;
    // Again, one iteration at a time, to find the first fault.
    for (int32_t i = begin; i < end; ++i) {
      ClearFloatingPointFlags();
      std::exception_ptr error;
      long double zi = 0;
      try {
        zi = FinishPart<kUnstandardized>(constants_, records[i - begin]);
      } catch (...) {
        error = std::current_exception();
      }
      if (FaultFlagRaised()) {
        error = FlagFault();
      } else if (!error && std::isnan(zi)) {
        error = NaNFault();
      }
      if (error) {
        faults_.Record(3 * int64_t{i} + 1, error);
        changed_.notify_all();
        return false;
      }
      try {
        phi_[i] = phi_of_(zi);
      } catch (...) {
        error = std::current_exception();
      }
      if (FaultFlagRaised()) error = FlagFault();
      if (error) {
        faults_.Record(3 * int64_t{i} + 2, error);
        changed_.notify_all();
        return false;
      }
      store_[i] = static_cast<double>(zi);
    }
    return true;
  }

  // The lo-th and hi-th smallest of the stored doubles: the values a full
  // ascending sort would put at those positions.
  void SelectLimits(int32_t lo, int32_t hi, long double& lower, long double& upper) {
    double at_lo, at_hi;
    SelectOrderStatistics(store_.get(), n_iter_, lo, hi, at_lo, at_hi);
    lower = at_lo;
    upper = at_hi;
  }

  // Leaves the generator as it stood after the draws of iteration i.
  void RedrawThrough(int32_t i, tUniformStream& uniform) {
    const int32_t c = i / kChunk;
    uniform = chunk_start_[c];
    tRecord record;
    try {
      for (int32_t j = c * kChunk; j <= i; ++j)
        DrawPart(constants_, uniform, record);
    } catch (...) {
      // These draws succeeded before; nothing new can fail here.
    }
  }

  const int32_t n_iter_;
  tRunControl* const control_;  // may be null
  bool stopped_ = false;        // the drawing ended on a stop request
  const int32_t chunks_;
  const unsigned threads_;
  const int32_t slots_;
  const tRunConstants& constants_;
  const tStandardNormalCdf phi_of_;
  std::unique_ptr<double[]> store_;     // Z_i rounded to double
  std::unique_ptr<long double[]> phi_;  // Phi(Z_i)
  std::unique_ptr<tRecord[]> records_;  // the ring of slots
  std::vector<bool> slot_free_;
  std::vector<bool> chunk_finished_;  // finished without a fault
  std::vector<tUniformStream> chunk_start_;
  std::vector<std::exception_ptr> helper_errors_;  // one per helper thread

  std::mutex mutex_;
  std::condition_variable changed_;
  int32_t drawn_ = 0;  // iterations whose drawing part is done
  bool drawing_done_ = false;
  int32_t next_chunk_ = 0;  // the next chunk to finish
  int32_t summed_ = 0;      // chunks whose Phi values are in sum_
  bool summing_ = false;    // a thread is adding to sum_
  long double sum_ = 0;     // S so far
  tFaultRecord faults_;
};

template <bool kCalibrated, bool kUnstandardized>
long double RunSample(const tRunConstants& constants, int32_t n_iter, unsigned threads,
                      tRunControl* control, tUniformStream& uniform, int32_t lo, int32_t hi,
                      long double& lower, long double& upper) {
  tSample<kCalibrated, kUnstandardized> sample(n_iter, constants, threads, control);
  return sample.Run(uniform, lo, hi, lower, upper);
}

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
               tEngine_results& results, tTestKind test, tRunControl* control) {
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
  // The flags are tested after each step, so that the error named is the
  // first fault, as when every operation is checked.
  RaiseOnFloatingPointFault();
  const bool invertible = MatrixInverse(a, 2, b);
  RaiseOnFloatingPointFault();
  if (!invertible) throw ESingularMatrix();
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
                                case_y};

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
    const bool unstandardized = test == tTestKind::Unstandardized;
    auto run = calibrated ? (unstandardized ? RunSample<true, true> : RunSample<true, false>)
                          : (unstandardized ? RunSample<false, true> : RunSample<false, false>);
    try {
      s = run(constants, n_iter, EngineThreads(), control, uniform, static_cast<int32_t>(lo),
              static_cast<int32_t>(hi), zdcc_lower, zdcc_upper);
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
                            int32_t conf_pct, tEngine_results& results, tTestKind test,
                            tRunControl* control) {
  RunEngine(false, n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, results, test, control);
}

void Calibrated_Prior_Engine(int32_t n, int32_t n_iter, bool fixed_seed, long double mean_x,
                             long double sd_x, long double mean_y, long double sd_y, long double r,
                             long double case_x, long double case_y, bool two_sided,
                             int32_t conf_pct, tEngine_results& results, tTestKind test,
                             tRunControl* control) {
  RunEngine(true, n, n_iter, fixed_seed, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided,
            conf_pct, results, test, control);
}

}  // namespace previous_engines
