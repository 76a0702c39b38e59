#!/usr/bin/env bash
# Installs what is missing, builds everything (program, tests, benchmarks),
# runs every test, then builds the Debian package, installs it and checks
# the installed programs (tools/check-package.sh).
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
summary=$(mktemp)
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") |
  tee "$summary" || status=$?
if [ -n "$printer_started" ]; then
  "$here/tools/cups-pdf-printer.sh" stop "$printer_started" || true
fi

# The package, as it installs on the machine (needs root; skipped otherwise).
"$here/tools/check-package.sh" "$build" || status=1

# The unit tests' summary once more as the last line.
grep -E '^[0-9]+% tests passed' "$summary" | tail -n 1 || true
rm -f "$summary"
exit $status
