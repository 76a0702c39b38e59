#include "engines/split_run.h"

namespace split_run {

namespace {
std::mutex g_counts_mutex;
tSplitCounts g_last_counts;
std::atomic<bool> g_guess_every_stretch{false};
}  // namespace

void SetGuessEveryStretch(bool guess) {
  g_guess_every_stretch.store(guess);
}

bool GuessEveryStretch() {
  return g_guess_every_stretch.load();
}

tSplitCounts LastRunCounts() {
  std::lock_guard<std::mutex> lock(g_counts_mutex);
  return g_last_counts;
}

void SetLastRunCounts(const tSplitCounts& counts) {
  std::lock_guard<std::mutex> lock(g_counts_mutex);
  g_last_counts = counts;
}

}  // namespace split_run
