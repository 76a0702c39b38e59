#!/usr/bin/env bash
# A portable copy of quorrel (the program alone in a folder of its own),
# worked by the test driver on the offscreen platform: Compute keeps the
# control data beside the program, the next start restores it, and the
# user's data folder stays untouched.
#   portable_copy_test.sh QUORREL_EXECUTABLE DRIVER_PLUGIN_FOLDER
set -euo pipefail
program=$1
plugins=$2
scratch=$(mktemp -d /tmp/quorrel-portable-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/copy" "$scratch/home/data" "$scratch/home/runtime"
chmod 700 "$scratch/home/runtime"
cp "$program" "$scratch/copy/quorrel"

run() {
  env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/data" \
    XDG_RUNTIME_DIR="$scratch/home/runtime" QT_QPA_PLATFORM=offscreen \
    QT_PLUGIN_PATH="$plugins" QT_QPA_GENERIC_PLUGINS="quorreldriver:$1" \
    "$scratch/copy/quorrel" 2>"$scratch/stderr"
}

out=$(run compute) || { cat "$scratch/stderr"; echo "$out"; exit 1; }
echo "$out"
grep -q '^driver: computed [0-9]* report lines$' <<<"$out"
[ "$(cat "$scratch/copy/quorreldata.txt")" = "100 15 50 10 .6 20 70 45 " ]
[ -z "$(ls -A "$scratch/home/data")" ] || { echo "written into the user's data folder"; exit 1; }

out=$(run restored) || { cat "$scratch/stderr"; echo "$out"; exit 1; }
echo "$out"
[ "$out" = "driver: fields 100|15|50|10|0.6|20||" ]
# Nothing but the program and its data file in its folder.
[ "$(find "$scratch/copy" -mindepth 1 -printf '%f\n' | sort | tr '\n' ' ')" = "quorrel quorreldata.txt " ]
echo "portable copy: data beside the program, restored at the next start"
