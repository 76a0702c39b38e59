// A run of iterations on one random stream, spread over threads, with the
// results of the run made in order on one thread in every digit.
//
// An iteration consumes a varying number of uniforms (its generators reject
// and try again), so where iteration i begins in the stream is not known
// before the iterations ahead of it are made.  The stream itself can be
// entered anywhere (tUniformStream::Seek).  The stream is therefore cut into
// stretches of L uniforms, and each thread takes a stretch and makes
// iterations from its first position, guessing that an iteration begins
// there, up to the first iteration that begins past its end; it records
// where each of its iterations began.
//
// A guess made at the wrong place re-synchronises with the true sequence:
// once two sequences of iterations stand at the same position of the stream
// at the same point of an iteration, they agree from there on, draw for
// draw, and so both begin their next iteration at the same position.  When
// the stretches are taken in order, the true sequence comes into stretch k
// at a known position q (where the iteration following the last one of
// stretch k - 1 begins).  If stretch k recorded an iteration beginning at
// q, its iterations from there on are the true ones; the ones before are
// thrown away.  Otherwise the true sequence is continued from q, in order,
// until it begins an iteration where stretch k recorded one; should that
// never happen, the whole stretch is made in order.  So every kept
// iteration is the one the plain loop makes, whatever the guesses were:
// the count of iterations thrown away (tSplitCounts) is the only thing the
// number of threads changes.
//
// The run is numbered, summed and cut off at its n-th iteration in the
// order of the stream, and a fault ends it as in the plain loop: the first
// fault in that order, with the stream left after the faulty iteration's
// draws.  A fault met on a guessed sequence before it rejoined the true one
// is thrown away with it.
//
// Floating-point faults set sticky flags (per thread).  Iterations are made
// in batches between two tests of the flags; a batch that faulted is made
// again one iteration at a time, testing after each of its three parts.
//
// An iteration is any type with
//   tDraws                                      what the draws produce
//   void Draw(tUniformStream&, tDraws&) const   every use of the stream
//   tReal Value(const tDraws&) const      the iteration's value; a
//                                               NaN is a fault
//   tReal Summand(tReal) const      what the run sums, in order
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engines/Bayes_Engines.h"
#include "numeric/float_faults.h"
#include "numeric/kernels.h"
#include "numeric/real.h"

namespace split_run {

using kernels::tUniformStream;

// What a run did besides its kept iterations.
struct tSplitCounts {
  int64_t kept = 0;        // iterations kept (the run's count, or up to its end)
  int64_t discarded = 0;   // iterations made from a guess before it met the true sequence
  int64_t beyond_end = 0;  // iterations made past the run's end
  int64_t uniforms = 0;    // the stream's position at the run's end
  int32_t stretches = 0;   // stretches the run was cut into
  int32_t unmet = 0;       // stretches whose guess never met the true sequence
};

// The counts of the last run that finished (any engine, any thread).
tSplitCounts LastRunCounts();
void SetLastRunCounts(const tSplitCounts& counts);

// For tests: when set, every stretch but the first is begun from its guessed
// position even where the true one is already known, so that a run with
// more than one thread guesses however the threads happen to be scheduled.
void SetGuessEveryStretch(bool guess);
bool GuessEveryStretch();

namespace detail {

// The library's floating-point error for the raised flags (none when no
// fault flag is set); the flags are cleared.
inline std::exception_ptr FlagFault() {
  try {
    RaiseOnFloatingPointFault();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

// An array that grows at its end, with an append cheap enough for the
// inner loop (no call unless it must grow).
template <typename T>
class tGrowingArray {
 public:
  void reserve(size_t capacity) {
    if (capacity > capacity_) Grow(capacity);
  }
  void push_back(const T& value) {
    if (size_ == capacity_) [[unlikely]]
      Grow(2 * capacity_ + 64);
    data_[size_++] = value;
  }
  // Only ever shortens.
  void resize(size_t size) { size_ = std::min(size, size_); }
  size_t size() const { return size_; }
  const T& operator[](size_t i) const { return data_[i]; }
  const T* begin() const { return data_.get(); }
  const T* end() const { return data_.get() + size_; }

 private:
  void Grow(size_t capacity) {
    std::unique_ptr<T[]> data(new T[capacity]);
    std::copy(begin(), end(), data.get());
    data_ = std::move(data);
    capacity_ = capacity;
  }
  std::unique_ptr<T[]> data_;
  size_t size_ = 0, capacity_ = 0;
};

// Iterations made from `begin` onwards: where each began, and its value and
// summand.  end_at is where the making stopped, for the reason in `end`
// (and begin_at[count], where the beginnings are kept).
//
// A stretch begun where the true sequence is known to stand (every stretch
// before it committed) holds the run's own iterations from its first on:
// its values go straight into the run's output and its summands into the
// run's sum, in order, with nothing kept to be copied later, and nothing
// need be known of where its iterations began but where it stopped.  A run
// on one thread is made of such stretches only.
struct tStretch {
  enum tEnd { Limit, Enough, Met, Fault, Stopped, Abandoned };
  int64_t begin = 0;
  int64_t limit = 0;      // no iteration begins at or past this position
  int64_t max_count = 0;  // nor is one made past this count
  tGrowingArray<int64_t> begin_at;
  tGrowingArray<double> kept;
  tGrowingArray<tReal> summand;
  double* out = nullptr;  // set: the run's output from this stretch's first iteration
  tReal sum = 0;          // with `out`: the run's sum up to the stretch's last iteration
  int64_t out_count = 0;  // with `out`: the iterations written there
  int64_t end_at = 0;     // where the making stopped
  tEnd end = Limit;
  std::exception_ptr fault;       // end == Fault: the faulty iteration's error
  int64_t after_fault_draws = 0;  // and where its draws left the stream
  bool parsed = false;

  // A direct stretch, from the run's output and sum where it begins.
  void Direct(double* run_out, tReal run_sum) {
    out = run_out;
    sum = run_sum;
  }
  int64_t Count() const { return out ? out_count : static_cast<int64_t>(kept.size()); }
  // An iteration begins at `position` (or the making stops there).
  void Begins(int64_t position) {
    if (!out) begin_at.push_back(position);
  }
  void Add(tReal value, tReal value_summand) {
    if (out) {
      out[out_count++] = static_cast<double>(value);
      sum = sum + value_summand;
    } else {
      kept.push_back(static_cast<double>(value));
      summand.push_back(value_summand);
    }
  }
  // Back to `count` iterations, the sum to what it was then.
  void Rewind(int64_t count, tReal sum_then) {
    begin_at.resize(static_cast<size_t>(count));
    kept.resize(static_cast<size_t>(count));
    summand.resize(static_cast<size_t>(count));
    out_count = std::min(out_count, count);
    sum = sum_then;
  }
};

}  // namespace detail

template <typename tIteration>
class tSplitRun {
  using tStretch = detail::tStretch;
  using tDraws = typename tIteration::tDraws;

 public:
  // `kept` receives the n values (rounded to double) in the order of the
  // stream; `stream` stands at the run's position 0.
  tSplitRun(const tIteration& iteration, int32_t n, unsigned threads, tRunControl* control,
            double* kept)
      : iteration_(iteration),
        n_(n),
        threads_(std::clamp<unsigned>(threads, 1, kMaxThreads)),
        control_(control),
        kept_(kept),
        guess_every_stretch_(GuessEveryStretch()) {}

  tSplitRun(const tSplitRun&) = delete;
  tSplitRun& operator=(const tSplitRun&) = delete;

  // Makes the n iterations and returns the sum of their summands, added in
  // order from 0.  The stream is left after the last iteration, or after
  // the draws of the faulty one when the run ends with its fault.
  tReal Run(tUniformStream& stream) {
    origin_stream_ = stream;
    // The first iterations in order on this thread, which also tell how
    // many uniforms an iteration takes.
    tStretch pilot;
    pilot.limit = INT64_MAX;
    pilot.max_count = std::min<int64_t>(n_, kPilot);
    pilot.Direct(kept_, 0);
    Make(pilot, stream, nullptr);
    Commit(pilot, stream);

    if (!finished_) {
      per_iteration_ = std::max(1.0, static_cast<double>(position_) / static_cast<double>(count_));
      const double total = per_iteration_ * n_;
      // Stretches long enough that what a guess throws away (two dozen
      // iterations on average) is a small part of each, short enough that
      // every thread has several to take.
      const double share = total / (4.0 * threads_);
      length_ = threads_ == 1 ? kLongest
                              : std::clamp<int64_t>(
                                    std::bit_floor(static_cast<uint64_t>(std::max(share, 1.0))),
                                    kShortest, kLongest);
      next_begin_ = position_;
      std::vector<std::thread> helpers;
      helper_errors_.resize(threads_ - 1);
      struct tJoin {
        tSplitRun& run;
        std::vector<std::thread>& helpers;
        ~tJoin() {
          run.Finish();
          for (std::thread& t : helpers)
            t.join();
        }
      } join{*this, helpers};
      for (unsigned h = 0; h + 1 < threads_; ++h) {
        try {
          helpers.emplace_back(&tSplitRun::HelperMain, this, h);
        } catch (const std::system_error&) {
          break;  // fewer threads: the same results, only later
        }
      }
      Work();
      for (std::thread& t : helpers)
        t.join();
      helpers.clear();
      // A helper that could not go on (nothing but a failed allocation can
      // stop one) leaves the run incomplete.
      for (const std::exception_ptr& error : helper_errors_)
        if (error) std::rethrow_exception(error);
    }

    counts_.kept = count_;
    counts_.uniforms = fault_ ? after_fault_draws_ : position_;
    SetLastRunCounts(counts_);
    stream.Seek(counts_.uniforms);
    if (fault_) std::rethrow_exception(fault_);
    if (stopped_) throw ERunStopped();
    return sum_;
  }

 private:
  static constexpr unsigned kMaxThreads = 64;
  static constexpr int64_t kPilot = 256;
  static constexpr int64_t kShortest = 1 << 13, kLongest = 1 << 17;
  static constexpr int kBatch = 64;     // iterations between two tests of the flags
  static constexpr int32_t kAhead = 2;  // stretches per thread beyond the next to commit

  void HelperMain(unsigned helper) noexcept {
    try {
      Work();
    } catch (...) {
      helper_errors_[helper] = std::current_exception();
      Finish();
    }
  }

  // Takes stretches, makes them and commits what is ready, until the run
  // is complete.
  void Work() {
    ClearFloatingPointFlags();
    tUniformStream stream = origin_stream_;
    while (true) {
      tStretch* stretch = Claim();
      if (!stretch) return;
      Make(*stretch, stream, nullptr);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stretch->parsed = true;
      }
      CommitReady(stream);
    }
  }

  // The next stretch to make, once the run's estimated end leaves room for
  // it; null when the run is finished.
  tStretch* Claim() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return finished_ || Claimable(); });
    if (finished_) return nullptr;
    auto stretch = std::make_unique<tStretch>();
    const int64_t k = static_cast<int64_t>(stretches_.size());
    if (k == committed_ && !(guess_every_stretch_ && threads_ > 1 && k > 0)) {
      // Every stretch before is committed: the true sequence's position is
      // known, and nothing need be guessed.
      stretch->begin = position_;
      stretch->max_count = n_ - count_;
      stretch->Direct(kept_ + count_, sum_);
    } else {
      stretch->begin = next_begin_;
      stretch->max_count = n_;
    }
    // Towards the run's end the stretches shorten, so that the threads
    // finish together.
    const double left = static_cast<double>(n_ - count_) * per_iteration_ -
                        static_cast<double>(stretch->begin - position_);
    const int64_t length =
        threads_ == 1
            ? length_
            : std::clamp<int64_t>(
                  std::bit_floor(static_cast<uint64_t>(std::max(left / (2.0 * threads_), 1.0))),
                  kShortest, length_);
    stretch->limit = stretch->begin + length;
    next_begin_ = stretch->limit;
    const auto expected =
        static_cast<size_t>(static_cast<double>(length) / per_iteration_ * 1.25) + 16;
    if (!stretch->out) {
      stretch->begin_at.reserve(expected + 1);
      stretch->kept.reserve(expected);
      stretch->summand.reserve(expected);
    }
    stretches_.push_back(std::move(stretch));
    ++counts_.stretches;
    return stretches_.back().get();
  }

  // (mutex held)
  bool Claimable() const {
    const int64_t k = static_cast<int64_t>(stretches_.size());
    if (k == committed_) return true;
    if (k >= committed_ + kAhead * static_cast<int64_t>(threads_)) return false;
    const double left = static_cast<double>(n_ - count_) * per_iteration_;
    return static_cast<double>(next_begin_) < static_cast<double>(position_) + 1.05 * left;
  }

  // Makes iterations from stretch.begin until the stretch's end (its limit,
  // its count, a position in `meet`, a fault, a stop request or the run's
  // end).
  void Make(tStretch& stretch, tUniformStream& stream, const tStretch* meet) {
    stream.Seek(stretch.begin);
    size_t next_meet = 0;
    auto meets = [&](int64_t position) {
      while (next_meet < meet->begin_at.size() && meet->begin_at[next_meet] < position)
        ++next_meet;
      return next_meet < meet->begin_at.size() && meet->begin_at[next_meet] == position;
    };
    // The reason to stop before the iteration beginning at `position`.
    auto ends = [&](int64_t position, tStretch::tEnd& end) {
      if (position >= stretch.limit) {
        end = tStretch::Limit;
      } else if (stretch.Count() >= stretch.max_count) {
        end = tStretch::Enough;
      } else if (meet && meets(position)) {
        end = tStretch::Met;
      } else if (control_ && control_->stop.load(std::memory_order_relaxed)) [[unlikely]] {
        end = tStretch::Stopped;
      } else if (abandon_.load(std::memory_order_relaxed)) [[unlikely]] {
        end = tStretch::Abandoned;
      } else {
        return false;
      }
      return true;
    };
    tDraws draws;
    while (true) {
      const int64_t batch_begin = stream.Position();
      const int64_t batch_first = stretch.Count();
      const tReal batch_sum = stretch.sum;
      ClearFloatingPointFlags();
      bool trouble = false;
      bool ended = false;
      try {
        for (int b = 0; b < kBatch; ++b) {
          const int64_t position = stream.Position();
          stretch.Begins(position);
          if (ends(position, stretch.end)) {
            stretch.end_at = position;
            ended = true;
            break;
          }
          iteration_.Draw(stream, draws);
          const tReal value = iteration_.Value(draws);
          if (real_math::isnan(value)) [[unlikely]] {
            trouble = true;
            break;
          }
          stretch.Add(value, iteration_.Summand(value));
        }
      } catch (...) {
        trouble = true;
      }
      if (!trouble && !FaultFlagRaised()) [[likely]] {
        if (ended) return;
        continue;
      }
      // Again, one iteration at a time, to find the first fault.
      stretch.Rewind(batch_first, batch_sum);
      stream.Seek(batch_begin);
      next_meet = 0;
      if (MakeChecked(stretch, stream, ends)) return;
    }
  }

  // Makes up to a batch of iterations one at a time, testing the flags
  // after each of an iteration's three parts; true when the stretch ended.
  // Out of line, so that the batch loop above is compiled as if this path
  // did not exist: it runs only after a fault.
  template <typename tEnds>
  [[gnu::noinline]] bool MakeChecked(tStretch& stretch, tUniformStream& stream, tEnds& ends) {
    tDraws draws;
    for (int b = 0; b < kBatch; ++b) {
      const int64_t position = stream.Position();
      stretch.Begins(position);
      if (ends(position, stretch.end)) {
        stretch.end_at = position;
        return true;
      }
      tReal value = 0, summand = 0;
      std::exception_ptr error = Checked([&] { iteration_.Draw(stream, draws); });
      const int64_t after_draws = stream.Position();
      if (!error) error = Checked([&] { value = iteration_.Value(draws); });
      if (!error && real_math::isnan(value)) error = std::make_exception_ptr(EInvalidOp());
      if (!error) error = Checked([&] { summand = iteration_.Summand(value); });
      if (error) {
        stretch.end = tStretch::Fault;
        stretch.end_at = position;
        stretch.fault = error;
        stretch.after_fault_draws = after_draws;
        return true;
      }
      stretch.Add(value, summand);
    }
    return false;
  }

  // Runs one part of an iteration; its error, or the fault its flags show.
  template <typename tPart>
  static std::exception_ptr Checked(tPart part) {
    ClearFloatingPointFlags();
    std::exception_ptr error;
    try {
      part();
    } catch (...) {
      error = std::current_exception();
    }
    if (FaultFlagRaised()) error = detail::FlagFault();
    return error;
  }

  // Commits the made stretches in order, one thread at a time.
  void CommitReady(tUniformStream& stream) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (committing_) return;
    committing_ = true;
    while (!finished_ && committed_ < static_cast<int64_t>(stretches_.size()) &&
           stretches_[committed_]->parsed) {
      tStretch& stretch = *stretches_[committed_];
      lock.unlock();
      Commit(stretch, stream);
      lock.lock();
      stretches_[committed_].reset();
      ++committed_;
      changed_.notify_all();
    }
    committing_ = false;
  }

  // Takes the true iterations of `stretch` in order: from where the true
  // sequence meets it, after continuing that sequence in order up to there
  // when it does not meet it at once.
  void Commit(tStretch& stretch, tUniformStream& stream) {
    if (stretch.out) {
      Take(stretch, 0);  // it began where the true sequence stood
      return;
    }
    const auto& at = stretch.begin_at;
    auto met = std::lower_bound(at.begin(), at.end(), position_);
    if (met == at.end() || *met != position_) {
      tStretch repair;
      repair.begin = position_;
      repair.limit = stretch.limit;
      repair.max_count = n_ - count_;
      repair.Direct(kept_ + count_, sum_);
      Make(repair, stream, &stretch);
      if (!Take(repair, 0)) return;
      if (repair.end != tStretch::Met) {
        ++counts_.unmet;
        counts_.discarded += stretch.Count();
        return;
      }
      met = std::lower_bound(at.begin(), at.end(), position_);
    }
    const int64_t first = static_cast<int64_t>(met - at.begin());
    counts_.discarded += std::min(first, stretch.Count());
    Take(stretch, first);
  }

  // Takes the iterations from `first` on; false when the run is finished.
  bool Take(const tStretch& stretch, int64_t first) {
    const int64_t available = stretch.Count() - first;
    const int64_t taken = std::min<int64_t>(available, n_ - count_);
    if (stretch.out) {
      // Already in place (first is 0, and the stretch made no more than the run needs).
      sum_ = stretch.sum;
    } else {
      tReal sum = sum_;
      for (int64_t i = first; i < first + taken; ++i) {
        kept_[count_ + (i - first)] = stretch.kept[i];
        sum = sum + stretch.summand[i];
      }
      sum_ = sum;
    }
    counts_.beyond_end += available - taken;
    std::lock_guard<std::mutex> lock(mutex_);
    count_ += taken;
    position_ = stretch.out ? stretch.end_at : stretch.begin_at[first + taken];
    if (control_) {
      control_->drawn.store(static_cast<int32_t>(count_), std::memory_order_relaxed);
      if (control_->progress) control_->progress(*control_, control_->progress_context);
    }
    if (count_ == n_) {
      FinishLocked();
      return false;
    }
    // The stretch ended before the run did: for its reason.
    switch (stretch.end) {
      case tStretch::Fault:
        fault_ = stretch.fault;
        after_fault_draws_ = stretch.after_fault_draws;
        FinishLocked();
        return false;
      case tStretch::Stopped:
      case tStretch::Abandoned:
        stopped_ = true;
        FinishLocked();
        return false;
      default:
        return true;
    }
  }

  void Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    FinishLocked();
  }

  // (mutex held)
  void FinishLocked() {
    finished_ = true;
    abandon_.store(true, std::memory_order_relaxed);
    changed_.notify_all();
  }

  const tIteration& iteration_;
  const int64_t n_;
  const unsigned threads_;
  tRunControl* const control_;  // may be null
  double* const kept_;
  const bool guess_every_stretch_;
  tUniformStream origin_stream_;  // position 0 of the run

  int64_t next_begin_ = 0;     // where the next stretch to be taken begins
  int64_t length_ = kLongest;  // the longest stretch
  double per_iteration_ = 0;   // uniforms per iteration, from the first ones

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<tStretch>> stretches_;
  int64_t committed_ = 0;  // stretches committed
  bool committing_ = false;
  bool finished_ = false;
  std::atomic<bool> abandon_{false};
  std::vector<std::exception_ptr> helper_errors_;

  // The true sequence so far (written by the one committing thread).
  int64_t count_ = 0;     // iterations kept
  int64_t position_ = 0;  // where the next one begins
  tReal sum_ = 0;
  std::exception_ptr fault_;
  int64_t after_fault_draws_ = 0;
  bool stopped_ = false;
  tSplitCounts counts_;
};

}  // namespace split_run
