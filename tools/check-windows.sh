#!/usr/bin/env bash
# The Windows build under Wine: builds it (tools/build-windows.sh), runs the
# core's tests (numeric library, engines with their golden values, analysis)
# and compares quorrel-report.exe with the Linux build's quorrel-report on a
# set of cases, byte for byte on standard output and by exit status.
# Wine runs in a scratch prefix of its own, removed at the end.
# The Linux program compared with: $QUORREL_LINUX_REPORT, else build/'s,
# else one built here without Qt (build-windows/linux).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORREL_WINDOWS_BUILD:-$here/build-windows}
jobs=${QUORREL_JOBS:-$(nproc)}

"$here/tools/install-deps.sh"
"$here/tools/build-windows.sh"

wine=""
for candidate in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$candidate" >/dev/null; then
    wine=$(command -v "$candidate")
    break
  fi
done
if [ -z "$wine" ]; then
  echo "check-windows: Wine is not installed (wine64)" >&2
  exit 1
fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

linux_report=${QUORREL_LINUX_REPORT:-$here/build/src/cli/quorrel-report}
if [ ! -x "$linux_report" ]; then
  cmake -S "$here" -B "$build/linux" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON \
    -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_TESTS=OFF -DQUORREL_WITH_BENCH=OFF \
    -DQUORREL_WITH_FUZZ=OFF >/dev/null
  cmake --build "$build/linux" -j"$jobs" --target quorrel-report
  linux_report="$build/linux/src/cli/quorrel-report"
fi

scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One locale for both programs: the decimal separator is asked for by option.
export LC_ALL=C.UTF-8
cleanup() {
  WINEPREFIX="$scratch/prefix" "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1 || true

failed=0
for suite in numeric engines analysis; do
  echo "--- ${suite}_tests under Wine"
  if ! "$wine" "$build/quorrel/tests/$suite/${suite}_tests.exe" --gtest_brief=1; then
    echo "check-windows: ${suite}_tests failed under Wine" >&2
    failed=1
  fi
done

# shellcheck source=../tests/cli/cross_build_cases.sh
source "$here/tests/cli/cross_build_cases.sh"
cross_build_cases "$scratch"
compare_with_linux "check-windows: quorrel-report" Windows "$linux_report" "$scratch" \
  "$wine" "$build/quorrel-report.exe" || failed=1
if [ $failed -ne 0 ]; then exit 1; fi
echo "check-windows: the tests pass under Wine, and $compared cases of quorrel-report.exe" \
  "print the Linux build's bytes"
