#!/usr/bin/env bash
# Builds the core (numeric library, engines, analysis) for WebAssembly with
# Debian's emscripten, into build-wasm/:
#   build-wasm/quorrel-core.mjs, quorrel-core.wasm
#       the library for web pages: an ES module whose default export,
#       createQuorrelCore(), resolves to the module with every function of
#       src/analysis/quorrel_c_api.h (see that header);
#   build-wasm/quorrel-core-threads.mjs, .wasm, .worker.js
#       the same library built with threads, for pages whose browser shares
#       memory between workers (cross-origin isolated): a run is split over
#       the threads, with the same digits (the .worker.js is its threads'
#       workers' script); built in build-wasm/threads/, the library alone;
#   build-wasm/quorrel-report.js (+ .wasm)
#       quorrel-report as a Node program, with the Linux program's arguments
#       and output (without --pdf, which needs Qt): node quorrel-report.js ...
#   the core's tests as Node programs, in build-wasm/quorrel/tests/*/.
# GoogleTest is built from Debian's sources by the same compiler.
#   build-wasm.sh        builds all of it
#   build-wasm.sh test   builds all, runs the tests under Node and compares
#                        quorrel-report.js's output with the Linux program's
#                        (build/'s, or $QUORREL_LINUX_REPORT) on a set of
#                        cases, byte for byte and by exit status.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORREL_WASM_BUILD:-$here/build-wasm}
jobs=${QUORREL_JOBS:-$(nproc)}
mode=${1:-build}
# emscripten's optimiser needs Debian's acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

if ! command -v emcmake >/dev/null || ! command -v node >/dev/null ||
  [ ! -d /usr/share/nodejs/acorn ] || [ ! -d /usr/src/googletest ]; then
  echo "build-wasm: needs emscripten, nodejs, node-acorn and googletest (tools/install-deps.sh)" >&2
  exit 1
fi

if [ ! -f "$build/gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  emcmake cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=ON -DCMAKE_CXX_FLAGS=-fexceptions \
    -DCMAKE_INSTALL_PREFIX="$build/gtest" "${launcher[@]}" >/dev/null
  cmake --build "$build/googletest" -j"$jobs"
  cmake --install "$build/googletest" >/dev/null
fi

emcmake cmake -S "$here" -B "$build/quorrel" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON \
  -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_FUZZ=OFF -DQUORREL_SOFT_EXTENDED=ON \
  -DGTest_DIR="$build/gtest/lib/cmake/GTest" -DCMAKE_FIND_ROOT_PATH="$build/gtest" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" "${launcher[@]}" >/dev/null
cmake --build "$build/quorrel" -j"$jobs" --target quorrel-core quorrel-report \
  engines_tests engines_reference_tests analysis_tests cli_tests
for file in quorrel-core.mjs quorrel-core.wasm; do
  cp "$build/quorrel/src/wasm/$file" "$build/$file"
done
# The library with threads: every object of the core built for them.
emcmake cmake -S "$here" -B "$build/threads" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON \
  -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_FUZZ=OFF -DQUORREL_WITH_TESTS=OFF \
  -DQUORREL_WITH_BENCH=OFF -DQUORREL_SOFT_EXTENDED=ON -DQUORREL_WASM_THREADS=ON \
  "${launcher[@]}" >/dev/null
cmake --build "$build/threads" -j"$jobs" --target quorrel-core
for file in quorrel-core-threads.mjs quorrel-core-threads.wasm quorrel-core-threads.worker.js; do
  cp "$build/threads/src/wasm/$file" "$build/$file"
done
for file in quorrel-report.js quorrel-report.wasm; do
  cp "$build/quorrel/src/cli/$file" "$build/$file"
done
echo "build-wasm: $build/quorrel-core.mjs, quorrel-core-threads.mjs and quorrel-report.js"
[ "$mode" = test ] || exit 0

# The tests: the core's tests under Node (golden values, reference
# agreement, report goldens, the C interface, the command line in-process),
# the two libraries as a page's script calls them, and quorrel-report.js
# against the Linux program.
linux_report=${QUORREL_LINUX_REPORT:-$here/build/src/cli/quorrel-report}
if [ ! -x "$linux_report" ]; then
  cmake -S "$here" -B "$build/linux" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON \
    -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_TESTS=OFF -DQUORREL_WITH_BENCH=OFF \
    -DQUORREL_WITH_FUZZ=OFF "${launcher[@]}" >/dev/null
  cmake --build "$build/linux" -j"$jobs" --target quorrel-report
  linux_report="$build/linux/src/cli/quorrel-report"
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# One locale for both programs: the decimal separator is asked for by option.
export LC_ALL=C.UTF-8

failed=0
# Left out under Node: a stop asked from a thread of the test's own (this
# build has no threads; the stop from the progress function is tested),
# --pdf (no Qt), the locale's decimal separator (no locales but "C"),
# signals, the file system's own failures and kinds of file (Node's file
# system offers neither), and the comparisons with printf's long double,
# which is not the x87 format here.
skipped='EngineControl.ProgressAndStop:*Pdf*:UserDecimalSeparator.*:*CtrlC*'
skipped+=':DataFile.OnlyARegularFileIsRead:DataFile.AFailedWriteKeepsThePreviousFile'
skipped+=':ProgramFolder.*:EInOutError.PlatformStyleMessages:TextFormat.*AsPrintfWrites'
skipped+=':ComputeDriver.AFailedSaveEndsTheAnalysisOnlyWhenItCanBeMended'
for suite in engines/engines_tests engines/engines_reference_tests analysis/analysis_tests \
  cli/cli_tests; do
  echo "--- ${suite#*/} under Node"
  if ! node "$build/quorrel/tests/$suite.js" --gtest_brief=1 --gtest_filter="-$skipped"; then
    echo "build-wasm: ${suite#*/} failed under Node" >&2
    failed=1
  fi
done

"$linux_report" 100 15 50 10 .6 20 70 55 >"$scratch/example.txt"
node "$here/tests/wasm/core_module_test.mjs" "$build/quorrel-core.mjs" "$scratch/example.txt" ||
  failed=1
# The library with threads, its run split over two: the same report.
node "$here/tests/wasm/core_module_test.mjs" "$build/quorrel-core-threads.mjs" \
  "$scratch/example.txt" 2 || failed=1

# shellcheck source=../tests/cli/cross_build_cases.sh
source "$here/tests/cli/cross_build_cases.sh"
cross_build_cases "$scratch"
compare_with_linux "build-wasm: quorrel-report.js" WebAssembly "$linux_report" "$scratch" \
  node "$build/quorrel-report.js" || failed=1
if [ $failed -ne 0 ]; then exit 1; fi
echo "build-wasm: the tests pass under Node, and $compared cases of quorrel-report.js print" \
  "the Linux build's bytes"
