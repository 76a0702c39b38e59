#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything
# (program, tests, benchmarks) with every compiler warning an error, runs
# every test, the core's tests once more with the software extended format
# forced, then the longer checks of tools/run-checks.sh (sanitizers,
# fuzzing, ...), and builds the Debian package, installs it and checks the
# installed programs (tools/check-package.sh).
# Every step runs whatever an earlier one found; the end lists each step's
# verdict (a step that could not run here is listed as SKIPPED, with why),
# and the exit status is 1 when any step failed.
# --quick: build and test only (the software format's tests included).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/install-deps.sh"
quick=""
if [ "${1:-}" = "--quick" ]; then quick=1; fi

verdicts=()
status=0
# record STEP EXIT_STATUS: 0 passed, 77 skipped (the step said why), else failed.
record() {
  case $2 in
    0) verdicts+=("$1: passed") ;;
    77) verdicts+=("$1: SKIPPED, NOT CHECKED ($3)") ;;
    *)
      verdicts+=("$1: FAILED")
      status=1
      ;;
  esac
}

# The formatting first: it takes seconds and needs no build.
if [ -z "$quick" ]; then
  rc=0
  "$here/tools/run-checks.sh" format || rc=$?
  record format $rc
fi

# The same compiles serve the package build, whose flags are the same but
# for the data location: ccache reuses them across the two folders.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

build="$here/build"
rc=0
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON "${launcher[@]}" \
  >/dev/null || rc=$?
if [ $rc -eq 0 ]; then cmake --build "$build" -j"$(nproc)" || rc=$?; fi
record build $rc

# The printing test prints through a real print system when one can be
# started here; it reports itself as skipped otherwise.
printer_started=""
wasm_built=""
if [ -x "$here/tools/cups-pdf-printer.sh" ]; then
  printer_started=$("$here/tools/cups-pdf-printer.sh" start || true)
fi
summary=$(mktemp)
if [ $rc -eq 0 ]; then
  rc=0
  (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") |
    tee "$summary" || rc=$?
  record "unit tests" $rc
fi
# The same engine, analysis and command-line tests with the core computing
# in the software extended format, as where long double is not the x87
# format (WebAssembly, ARM): the golden values, the reference agreement
# and the report goldens hold digit for digit.
rc=0
"$here/tools/run-checks.sh" soft || rc=$?
record "software extended format" $rc
# The cluster recipe under a real one-node Slurm (needs root).
if [ -z "$quick" ] && [ -x "$build/src/cli/quorrel-report" ]; then
  rc=0
  "$here/tests/cli/slurm_test.sh" "$build/src/cli/quorrel-report" || rc=$?
  record "cluster (Slurm)" $rc "the scheduler's daemons need root"
fi
# The sanitizer run of the whole suite includes the printing test, so the
# checks run while the printer is up.
if [ -z "$quick" ]; then
  for stage in $("$here/tools/run-checks.sh" --list); do
    [ "$stage" = format ] && continue
    rc=0
    "$here/tools/run-checks.sh" "$stage" || rc=$?
    record "$stage" $rc
    if [ "$stage" = wasm ] && [ $rc -eq 0 ]; then wasm_built=1; fi
  done
fi
# The web page in headless chromium: built on the WebAssembly core, typed
# into with the keyboard, its report compared with quorrel-report's byte for
# byte (tests/web/page.test.mjs says what else it checks).
if [ ! -x "$here/tools/build-wasm.sh" ]; then
  record "web page (chromium)" 77 "this tree has no WebAssembly build of the core (tools/build-wasm.sh)"
elif [ -x "$build/src/cli/quorrel-report" ]; then
  rc=0
  # The WebAssembly check has just built the page's library; --quick builds it here.
  if [ -n "$wasm_built" ]; then export QUORREL_WASM_DIR="$here/build-wasm"; fi
  "$here/tools/run-web.sh" build || rc=$?
  if [ $rc -eq 0 ]; then
    QUORREL_REPORT="$build/src/cli/quorrel-report" node "$here/tests/web/page.test.mjs" || rc=$?
  fi
  record "web page (chromium)" $rc "chromium cannot start here"
fi
if [ -n "$printer_started" ]; then
  "$here/tools/cups-pdf-printer.sh" stop "$printer_started" || true
fi

# The package, as it installs on the machine (needs root).
if [ -z "$quick" ]; then
  rc=0
  "$here/tools/check-package.sh" "$build" || rc=$?
  record package $rc "it needs root: apt install, useradd"
fi

echo "=== verdicts:"
printf '    %s\n' "${verdicts[@]}"
# The unit tests' summary once more as the last line.
grep -E '^[0-9]+% tests passed' "$summary" | tail -n 1 || true
rm -f "$summary"
exit $status
