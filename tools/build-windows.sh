#!/usr/bin/env bash
# Cross-builds the core (numeric library, engines, analysis), quorrel-report
# (without --pdf, which needs Qt) and the core's tests for 64-bit Windows
# with Debian's MinGW-w64, whose long double is the x87 80-bit format of the
# Linux build.  GoogleTest is built from Debian's sources by the same cross
# compiler.  Leaves build-windows/quorrel-report.exe, which takes the same
# arguments as the Linux program, and the test programs in
# build-windows/quorrel/tests/*/ (run them with tools/check-windows.sh).
# Every program is linked statically: one .exe, nothing else to copy.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORREL_WINDOWS_BUILD:-$here/build-windows}
jobs=${QUORREL_JOBS:-$(nproc)}
toolchain="$here/tools/mingw-w64-toolchain.cmake"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ ! -d /usr/src/googletest ]; then
  echo "build-windows: needs g++-mingw-w64-x86-64-posix and googletest (tools/install-deps.sh)" >&2
  exit 1
fi

if [ ! -f "$build/gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$build/gtest" \
    "${launcher[@]}" >/dev/null
  cmake --build "$build/googletest" -j"$jobs"
  cmake --install "$build/googletest" >/dev/null
fi

cmake -S "$here" -B "$build/quorrel" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON -DQUORREL_WITH_QT=OFF \
  -DQUORREL_WITH_BENCH=OFF -DQUORREL_WITH_FUZZ=OFF \
  -DGTest_DIR="$build/gtest/lib/cmake/GTest" "${launcher[@]}" >/dev/null
cmake --build "$build/quorrel" -j"$jobs" --target quorrel-report numeric_tests engines_tests \
  analysis_tests
cp "$build/quorrel/src/cli/quorrel-report.exe" "$build/quorrel-report.exe"
echo "build-windows: $build/quorrel-report.exe"
