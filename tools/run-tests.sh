#!/usr/bin/env bash
# Installs what is missing, builds everything (program, tests, benchmarks)
# with every compiler warning an error, runs every test, then the longer
# checks of tools/run-checks.sh (formatting, sanitizers, fuzzing), and
# builds the Debian package, installs it and checks the installed programs
# (tools/check-package.sh).
# --quick: build and test only.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/install-deps.sh"

build="$here/build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON >/dev/null
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
# The cluster recipe under a real one-node Slurm (as root; it says so and
# skips itself otherwise).
"$here/tests/cli/slurm_test.sh" "$build/src/cli/quorrel-report" || status=1
# The sanitizer run of the whole suite includes the printing test, so the
# checks run while the printer is up.
if [ $status -eq 0 ] && [ "${1:-}" != "--quick" ]; then
  "$here/tools/run-checks.sh" || status=$?
fi
if [ -n "$printer_started" ]; then
  "$here/tools/cups-pdf-printer.sh" stop "$printer_started" || true
fi

# The package, as it installs on the machine (needs root; skipped otherwise).
if [ "${1:-}" != "--quick" ]; then
  "$here/tools/check-package.sh" "$build" || status=1
fi

# The unit tests' summary once more as the last line.
grep -E '^[0-9]+% tests passed' "$summary" | tail -n 1 || true
rm -f "$summary"
exit $status
