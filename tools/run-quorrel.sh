#!/usr/bin/env bash
# Installs what is missing, builds the program and launches it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/install-deps.sh"

build="$here/build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorrel
exec "$build/src/app/quorrel" "$@"
