#!/usr/bin/env bash
# Times one analysis of the example computed with the software extended
# format (-DQUORREL_SOFT_EXTENDED=ON) against the same analysis with the
# processor's long double, one run per process, the two alternating (which
# goes first alternates too), and prints the medians and the median of the
# pairs' ratios (software / native) with its quartiles.
#
#   bench/soft_against_native.sh [FILTER] [PAIRS]
#
# FILTER is a benchmark of bench/engines_benchmark.cpp (default
# BM_CalibratedPrior_OneThread, the example with the recommended prior, one
# thread).  The software build's benchmark is made in build-soft-bench
# (Release, no windows, no tests; QUORREL_SOFT_BUILD names another folder
# of a software build); the native one is build/bench.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
filter=${1:-BM_CalibratedPrior_OneThread}
pairs=${2:-7}
native=$root/build/bench/engines_benchmark
soft_build=${QUORREL_SOFT_BUILD:-$root/build-soft-bench}
if [ ! -x "$native" ]; then
  echo "build $native first (cmake --build build --target engines_benchmark)" >&2
  exit 1
fi
if [ ! -f "$soft_build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$soft_build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_SOFT_EXTENDED=ON \
    -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_TESTS=OFF -DQUORREL_WITH_FUZZ=OFF >/dev/null
fi
cmake --build "$soft_build" -j"$(nproc)" --target engines_benchmark >/dev/null
soft=$soft_build/bench/engines_benchmark

# The real time of one run of the benchmark, in ms.
time_of() {
  "$1" --benchmark_filter="$filter\$" --benchmark_min_time=0 --benchmark_format=csv 2>/dev/null |
    grep '^"BM' | head -1 | cut -d, -f3
}
for i in $(seq "$pairs"); do
  if [ $((i % 2)) = 0 ]; then
    a=$(time_of "$soft")
    b=$(time_of "$native")
  else
    b=$(time_of "$native")
    a=$(time_of "$soft")
  fi
  echo "$a $b"
done | python3 -c '
import statistics, sys
pairs = [tuple(map(float, line.split())) for line in sys.stdin if line.strip()]
ratios = sorted(a / b for a, b in pairs)
n = len(ratios)
print("software %.0f ms, native %.0f ms, software/native %.2f (quartiles %.2f-%.2f, %d pairs)" % (
    statistics.median(a for a, _ in pairs), statistics.median(b for _, b in pairs),
    statistics.median(ratios), ratios[n // 4], ratios[(3 * n) // 4], n))'
