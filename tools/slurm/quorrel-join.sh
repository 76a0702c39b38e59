#!/bin/bash
# Joins the N parts that quorrel-array.sbatch wrote to OUTDIR into the
# output of one run of the whole batch, byte for byte: part 1 whole, then
# every further part without its header line, in order.
#   quorrel-join.sh OUTDIR N > results.csv
# Fails, writing nothing, when a part is missing (a task that did not end).
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 OUTDIR N > results.csv" >&2
  exit 64
fi
outdir=$1
parts=$2
for k in $(seq 1 "$parts"); do
  if [ ! -f "$outdir/part-$k.csv" ]; then
    echo "$0: $outdir/part-$k.csv is missing: task $k of the array did not finish its rows" >&2
    exit 1
  fi
done
cat "$outdir/part-1.csv"
for k in $(seq 2 "$parts"); do
  tail -n +2 "$outdir/part-$k.csv"
done
