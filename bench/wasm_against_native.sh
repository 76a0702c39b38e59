#!/usr/bin/env bash
# Times one analysis of the example (calibrated prior, one thread) as a user
# runs it, the whole program each time: the native quorrel-report, the same
# program computing with the software extended format
# (-DQUORREL_SOFT_EXTENDED=ON), and the WebAssembly build's under Node.  The
# three alternate, RUNS times each (default 5), and the medians of their
# processor time (user + system, which another program's load on a shared
# machine disturbs less than the wall clock) and of their wall-clock time
# are printed, with the ratios to the native program.
#
#   bench/wasm_against_native.sh [RUNS]
#
# Needs build/'s quorrel-report and tools/build-wasm.sh's build; the
# software build's quorrel-report is made in build-soft-bench (as
# bench/soft_against_native.sh makes its benchmark there).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
native=$root/build/src/cli/quorrel-report
wasm=$root/build-wasm/quorrel-report.js
soft_build=${QUORREL_SOFT_BUILD:-$root/build-soft-bench}
for program in "$native" "$wasm"; do
  if [ ! -f "$program" ]; then
    echo "build $program first (cmake --build build --target quorrel-report;" \
      "tools/build-wasm.sh)" >&2
    exit 1
  fi
done
if [ ! -f "$soft_build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$soft_build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_SOFT_EXTENDED=ON \
    -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_TESTS=OFF -DQUORREL_WITH_FUZZ=OFF >/dev/null
fi
cmake --build "$soft_build" -j"$(nproc)" --target quorrel-report >/dev/null
soft=$soft_build/src/cli/quorrel-report

example=(--threads 1 100 15 50 10 .6 20 70 55)
# "processor-seconds wall-seconds" of one run.
time_of() {
  /usr/bin/time -f "%U %S %e" "$@" "${example[@]}" 2>&1 >/dev/null | tail -n 1 |
    awk '{ print $1 + $2, $3 }'
}
for i in $(seq "$runs"); do
  echo "native $(time_of "$native")"
  echo "soft $(time_of "$soft")"
  echo "wasm $(time_of node "$wasm")"
done | python3 -c '
import statistics, sys
times = {}
for line in sys.stdin:
    name, cpu, wall = line.split()
    times.setdefault(name, []).append((float(cpu), float(wall)))
cpu = {k: statistics.median(c for c, _ in v) for k, v in times.items()}
wall = {k: statistics.median(w for _, w in v) for k, v in times.items()}
n = len(times["native"])
for name, label in (("native", "native long double"), ("soft", "software extended format"),
                    ("wasm", "WebAssembly under Node")):
    print("%-26s %6.2f s processor (x%.2f), %6.2f s wall (x%.2f), median of %d" % (
        label, cpu[name], cpu[name] / cpu["native"], wall[name], wall[name] / wall["native"], n))'
