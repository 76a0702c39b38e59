#!/usr/bin/env bash
# The longer checks that keep the tree's habits, run by tools/run-tests.sh
# (and by CI through it).  Every stage named runs, whatever an earlier one
# found, and the end lists each stage's verdict; the exit status is 1 when
# any stage failed.
#   format     a C++ file that clang-format 14 would change;
#   asan       any AddressSanitizer or UndefinedBehaviorSanitizer report over
#              the whole test suite;
#   tsan       any ThreadSanitizer report over the tests of the code that
#              hands work between threads (the engines, the command line's
#              and the worksheet's run watchers);
#   fuzz       a libFuzzer finding: each fuzz target runs over its corpus,
#              then fuzzes for QUORREL_FUZZ_SECONDS (30) seconds;
#   windows    the MinGW-w64 build (build-windows) failing a core test under
#              Wine, or its quorrel-report.exe printing other bytes than the
#              Linux program (tools/check-windows.sh);
#   extended   any difference, in a bit or a flag, between the software
#              extended format and the processor's over
#              QUORREL_EXTENDED_PAIRS (10^8) operand pairs per operation;
#   soft       a failure of the engine, analysis and command-line tests (the
#              golden values, the reference agreement, the report goldens)
#              built with the software extended format forced.
# Each stage prints its time.  Arguments choose stages (default: all);
# --list prints the default stages.
# Every build folder starts clean, as in CI, unless QUORREL_KEEP_BUILDS=1.
# Warnings are errors in every build: the test command's Release build and
# all those here.  The g++ sanitizer builds keep one warning a warning,
# -Wmaybe-uninitialized, which the instrumentation makes g++ 12 give for
# values inside the standard library's <regex> that are set (see
# CMakeLists.txt).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=${QUORREL_JOBS:-$(nproc)}
fuzz_seconds=${QUORREL_FUZZ_SECONDS:-30}
default_stages=(format asan tsan fuzz windows extended soft)
if [ "${1:-}" = --list ]; then
  echo "${default_stages[@]}"
  exit 0
fi
stages=("$@")
if [ ${#stages[@]} -eq 0 ]; then stages=("${default_stages[@]}"); fi

# A sanitizer report fails the program that meets it, so the test fails.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export LSAN_OPTIONS=suppressions=$here/tools/lsan.supp:print_suppressions=0

fresh() {
  if [ "${QUORREL_KEEP_BUILDS:-0}" != 1 ]; then rm -rf "$1"; fi
}

check_format() {
  local files
  mapfile -t files < <(cd "$here" && find src tests bench fuzz -name '*.cpp' -o -name '*.h' | sort)
  # --Werror: a file that would change is an error, and its changes are shown.
  (cd "$here" && clang-format-14 --dry-run --Werror "${files[@]}")
  echo "${#files[@]} files formatted as .clang-format says"
}

check_asan() {
  local build="$here/build-asan"
  fresh "$build"
  # -O1 with assertions on: half the compile time of -O3, and the tests
  # still run in about a minute.
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DQUORREL_WERROR=ON \
    -DQUORREL_SANITIZE=address,undefined >/dev/null
  # Everything the tests run (the programs and the package test's window
  # driver included); the benchmarks themselves are not needed.
  local targets
  mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\.\.\. \([a-z_]*_tests\|fuzz_[a-z_]*\|quorrel-report\|quorrel\|quorreldriver\)$/\1/p')
  cmake --build "$build" -j"$jobs" --target "${targets[@]}"
  (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")
}

check_tsan() {
  local build="$here/build-tsan"
  fresh "$build"
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON \
    -DQUORREL_SANITIZE=thread -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_BENCH=OFF \
    -DQUORREL_WITH_FUZZ=OFF >/dev/null
  cmake --build "$build" -j"$jobs" --target engines_tests cli_tests
  "$build/tests/engines/engines_tests" --gtest_brief=1
  # The command line's run watcher: a progress line, a time limit and an
  # interruption, each seen from the thread that runs the analysis.
  "$build/tests/cli/cli_tests" --gtest_brief=1 \
    --gtest_filter='*TimeLimit*:*CtrlC*:*ProgressLine*:*EngineError*:*EndlessOrInterrupted*'
}

# Fuzzes one target for fuzz_seconds; new inputs go to a scratch folder,
# never into the tree's corpus, and a finding is written to
# build-fuzz/findings/ and fails.
fuzz_one() {
  local build=$1 name=$2 scratch_tmp=$3
  local log="$build/findings/$name.log" status=0
  mkdir -p "$build/scratch/$name"
  TMPDIR=$scratch_tmp "$build/fuzz/fuzz_$name" -max_total_time="$fuzz_seconds" \
    -print_final_stats=1 -artifact_prefix="$build/findings/$name-" "$build/scratch/$name" \
    "$here/fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz_$name found a fault (exit $status); the input is in $build/findings/" >&2
    return 1
  fi
  echo "fuzz_$name: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") inputs in" \
    "$fuzz_seconds s, no finding"
}

check_fuzz() {
  local build="$here/build-fuzz"
  fresh "$build"
  CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DQUORREL_WERROR=ON -DQUORREL_LIBFUZZER=ON -DQUORREL_SANITIZE=address,undefined \
    -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_TESTS=OFF -DQUORREL_WITH_BENCH=OFF >/dev/null
  local names=(number_reader data_file_reader batch_csv command_line)
  cmake --build "$build" -j"$jobs" --target "${names[@]/#/fuzz_}"
  (cd "$build" && ctest --output-on-failure -j"$jobs")
  mkdir -p "$build/findings"
  # The data-file target writes a file for every input: memory is far quicker.
  local scratch_tmp=${TMPDIR:-/tmp}
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch_tmp=/dev/shm; fi
  # One fuzzer per core at a time.
  local name running=0 failed=0
  for name in "${names[@]}"; do
    fuzz_one "$build" "$name" "$scratch_tmp" &
    running=$((running + 1))
    if [ $running -ge "$jobs" ]; then
      wait -n || failed=1
      running=$((running - 1))
    fi
  done
  while [ $running -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
  done
  return $failed
}

check_extended() {
  local build="$here/build-extended"
  fresh "$build"
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON \
    -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_BENCH=OFF -DQUORREL_WITH_FUZZ=OFF >/dev/null
  cmake --build "$build" -j"$jobs" --target numeric_tests
  QUORREL_SOFT_EXTENDED_PAIRS=${QUORREL_EXTENDED_PAIRS:-100000000} \
    "$build/tests/numeric/numeric_tests" --gtest_filter='SoftExtended.*' --gtest_brief=1
}

check_windows() {
  fresh "$here/build-windows"
  QUORREL_JOBS=$jobs "$here/tools/check-windows.sh"
}

check_soft() {
  local build="$here/build-soft-check"
  fresh "$build"
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORREL_WERROR=ON \
    -DQUORREL_SOFT_EXTENDED=ON -DQUORREL_WITH_QT=OFF -DQUORREL_WITH_FUZZ=OFF >/dev/null
  local tests=(engines_tests engines_reference_tests analysis_tests cli_tests)
  cmake --build "$build" -j"$jobs" --target "${tests[@]}" quorrel-report
  local t
  for t in "${tests[@]}"; do
    # (--pdf needs the windows' Qt, which this build leaves out.)
    "$(find "$build/tests" -name "$t" -type f -perm -u+x | head -1)" --gtest_brief=1 \
      --gtest_filter='-*Pdf*'
  done
}

# Each stage runs in a subshell of its own, so that a failing command ends
# that stage only; the verdicts are listed together at the end.
verdicts=()
failed_any=0

for stage in "${stages[@]}"; do
  echo "=== check: $stage"
  start=$(date +%s)
  if (set -euo pipefail && "check_$stage"); then
    verdict="passed"
  else
    verdict="FAILED"
    failed_any=1
  fi
  echo "=== check: $stage $verdict in $(($(date +%s) - start)) s"
  verdicts+=("$stage: $verdict")
done
if [ ${#stages[@]} -gt 1 ]; then
  echo "=== checks:"
  printf '    %s\n' "${verdicts[@]}"
fi
exit $failed_any
