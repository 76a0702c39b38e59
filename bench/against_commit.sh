#!/usr/bin/env bash
# Times one benchmark of an earlier commit against one of the current build,
# one run per process, the two alternating (which one goes first alternates
# too), and prints the medians and the median of the pairs' ratios with its
# quartiles.  The machine's speed drifts from minute to minute; a ratio taken
# within a pair of runs a second apart cancels the drift.
#
#   bench/against_commit.sh COMMIT FILTER_THEN [FILTER_NOW] [PAIRS]
#
# e.g. bench/against_commit.sh d574c43 BM_StandardTheory_OneThread
# The commit's benchmark is built (Release, no windows, no tests) in a
# scratch worktree under ${TMPDIR:-/tmp}; the current one is build/bench.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$1
then_filter=$2
now_filter=${3:-$2}
pairs=${4:-11}
now=$root/build/bench/engines_benchmark
tree=${TMPDIR:-/tmp}/quorrel-at-$(git -C "$root" rev-parse --short "$commit")
if [ ! -x "$tree/build/bench/engines_benchmark" ]; then
  [ -d "$tree" ] || git -C "$root" worktree add --detach "$tree" "$commit" >/dev/null
  cmake -S "$tree" -B "$tree/build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WITH_QT=OFF \
    -DQUORREL_WITH_TESTS=OFF >/dev/null
  cmake --build "$tree/build" -j"$(nproc)" --target engines_benchmark >/dev/null
fi
before=$tree/build/bench/engines_benchmark

# The real time of one run of the benchmark, in ms.
time_of() {
  "$1" --benchmark_filter="$2" --benchmark_min_time=0 --benchmark_format=csv 2>/dev/null |
    grep '^"BM' | head -1 | cut -d, -f3
}
for i in $(seq "$pairs"); do
  if [ $((i % 2)) = 0 ]; then
    a=$(time_of "$before" "$then_filter")
    b=$(time_of "$now" "$now_filter")
  else
    b=$(time_of "$now" "$now_filter")
    a=$(time_of "$before" "$then_filter")
  fi
  echo "$a $b"
done | python3 -c '
import statistics, sys
pairs = [tuple(map(float, line.split())) for line in sys.stdin if line.strip()]
ratios = sorted(a / b for a, b in pairs)
n = len(ratios)
print("then %.0f ms, now %.0f ms, then/now %.3f (quartiles %.3f-%.3f, %d pairs)" % (
    statistics.median(a for a, _ in pairs), statistics.median(b for _, b in pairs),
    statistics.median(ratios), ratios[n // 4], ratios[(3 * n) // 4], n))'
