#!/usr/bin/env bash
# Installs what is missing, builds everything (program, tests, benchmarks)
# and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/install-deps.sh"

build="$here/build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

# The printing test prints through a real print system when one can be
# started here; it reports itself as skipped otherwise.
printer_started=""
if [ -x "$here/tools/cups-pdf-printer.sh" ]; then
  printer_started=$("$here/tools/cups-pdf-printer.sh" start || true)
fi
status=0
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") || status=$?
if [ -n "$printer_started" ]; then
  "$here/tools/cups-pdf-printer.sh" stop "$printer_started" || true
fi
exit $status
