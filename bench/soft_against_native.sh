#!/usr/bin/env bash
# Times one analysis of the example (quorrel-report, one thread) computed
# with the software extended format (-DQUORREL_SOFT_EXTENDED=ON) against the
# same analysis with the processor's long double, one run per process, the
# two alternating (which goes first alternates too), and prints the medians
# and the median of the pairs' ratios (software / native) with its
# quartiles.  The time is the process's processor time (user + system),
# which a busy machine disturbs less than the time on the clock.
#
#   bench/soft_against_native.sh [PAIRS] [-- VALUES...]
#
# VALUES are quorrel-report's arguments (default: the example case, with
# the recommended prior).  The software build is made in build-soft-bench
# (Release, no windows, no tests, through ccache when there is one;
# QUORREL_SOFT_BUILD names another folder of a software build); the native
# program is build/src/cli/quorrel-report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pairs=7
if [ $# -gt 0 ] && [ "$1" != -- ]; then
  pairs=$1
  shift
fi
if [ "${1:-}" = -- ]; then shift; fi
values=("$@")
if [ ${#values[@]} -eq 0 ]; then values=(100 15 50 10 .6 20 70 55); fi
native=$root/build/src/cli/quorrel-report
soft_build=${QUORREL_SOFT_BUILD:-$root/build-soft-bench}
if [ ! -x "$native" ]; then
  echo "build $native first (cmake --build build --target quorrel-report)" >&2
  exit 1
fi
if [ ! -f "$soft_build/CMakeCache.txt" ]; then
  launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -S "$root" -B "$soft_build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_SOFT_EXTENDED=ON \
    -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_TESTS=OFF -DQUORREL_WITH_FUZZ=OFF \
    -DQUORREL_WITH_BENCH=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$soft_build" -j"$(nproc)" --target quorrel-report >/dev/null
soft=$soft_build/src/cli/quorrel-report
if ! cmp -s <("$soft" --json "${values[@]}") <("$native" --json "${values[@]}"); then
  echo "the two programs give different results for ${values[*]}" >&2
  exit 1
fi

python3 - "$pairs" "$soft" "$native" "${values[@]}" <<'EOF'
import os, statistics, subprocess, sys

pairs, soft, native, values = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]


def seconds(program):
    """Processor time of one run, in seconds."""
    child = subprocess.Popen([program, "--threads", "1", *values], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        sys.exit(f"{program} failed")
    return usage.ru_utime + usage.ru_stime


runs = []
for i in range(pairs):
    if i % 2:
        a = seconds(soft)
        b = seconds(native)
    else:
        b = seconds(native)
        a = seconds(soft)
    runs.append((a, b))
ratios = sorted(a / b for a, b in runs)
n = len(ratios)
print("software %.2f s, native %.2f s, software/native %.2f (quartiles %.2f-%.2f, %d pairs)" % (
    statistics.median(a for a, _ in runs), statistics.median(b for _, b in runs),
    statistics.median(ratios), ratios[n // 4], ratios[(3 * n) // 4], n))
EOF
