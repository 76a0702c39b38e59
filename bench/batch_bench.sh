#!/usr/bin/env bash
# Times quorrel-report on a mixed batch: the whole batch with one thread and
# with two, and the batch as two shards of one thread each run at once (as
# two tasks of a job array on one node would), and prints rows per second
# and each process's peak memory (GNU time's maximum resident set size).
# The three outputs (the shards joined) must be the same, byte for byte.
#
#   bench/batch_bench.sh [ROWS] [QUORREL_REPORT]
#
# ROWS (default 200): rows alternate between the standard-theory and the
# calibrated prior, with correlations from -.5 up to .99.  The program
# defaults to build/src/cli/quorrel-report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rows=${1:-200}
program=${2:-$root/build/src/cli/quorrel-report}
[ -x /usr/bin/time ] || { echo "needs GNU time (Debian package time)" >&2; exit 1; }
scratch=$(mktemp -d /tmp/quorrel-batch-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

correlations=(-.5 .1 .3 .5 .6 .7 .8 .9 .95 .99)
{
  echo "id,mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y,prior"
  for i in $(seq 1 "$rows"); do
    r=${correlations[$(((i - 1) / 2 % ${#correlations[@]}))]}
    prior=$([ $((i % 2)) -eq 1 ] && echo standard || echo calibrated)
    echo "c$i,100,15,50,10,$r,$((10 + i % 30)),$((60 + i % 40)),$((40 + i % 25)),$prior"
  done
} >"$scratch/cases.csv"

# One run under GNU time: "SECONDS PEAK_KIB CPU_SECONDS".
timed() {
  local name=$1
  shift
  /usr/bin/time -f '%e %M %U' -o "$scratch/$name.time" "$program" "$@" --batch "$scratch/cases.csv" \
    >"$scratch/$name.csv" || true
}
rate() { awk -v r="$rows" -v s="$1" 'BEGIN { printf "%.2f", r / s }'; }

echo "quorrel-report $("$program" --version | cut -d' ' -f2), $rows rows, $(nproc) processors," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
timed one --threads 1
timed two --threads 2
start=$(date +%s.%N)
timed shard1 --threads 1 --shard 1/2 &
timed shard2 --threads 1 --shard 2/2 &
wait
both=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
(cat "$scratch/shard1.csv"; tail -n +2 "$scratch/shard2.csv") >"$scratch/shards.csv"
cmp -s "$scratch/one.csv" "$scratch/two.csv" || { echo "1 and 2 threads differ" >&2; exit 1; }
cmp -s "$scratch/one.csv" "$scratch/shards.csv" || { echo "the shards differ" >&2; exit 1; }

read -r one_s one_kib one_cpu <"$scratch/one.time"
read -r two_s two_kib two_cpu <"$scratch/two.time"
read -r s1_s s1_kib s1_cpu <"$scratch/shard1.time"
read -r s2_s s2_kib s2_cpu <"$scratch/shard2.time"
echo "| run | seconds | rows per second | processor seconds | peak memory |"
echo "|---|---|---|---|---|"
echo "| whole batch, 1 thread | $one_s | $(rate "$one_s") | $one_cpu | $((one_kib / 1024)) MiB |"
echo "| whole batch, 2 threads | $two_s | $(rate "$two_s") | $two_cpu | $((two_kib / 1024)) MiB |"
echo "| 2 shards of 1 thread at once | $both ($s1_s and $s2_s) | $(rate "$both") |" \
  "$s1_cpu + $s2_cpu | $((s1_kib / 1024)) and $((s2_kib / 1024)) MiB |"
