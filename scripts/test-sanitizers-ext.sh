#!/usr/bin/env bash
# Runs the media platform and extension tests under sanitizers:
#   tsan  the concurrency tests (cursors on several threads, the player's
#         playback thread against control calls, and the hand-off of frames
#         from the player to the application's main thread) under
#         ThreadSanitizer;
#   asan  the buffer, loader, Farrago, Dapple, playback and concurrency tests
#         under AddressSanitizer with LeakSanitizer and UndefinedBehaviorSanitizer.
# Usage: scripts/test-sanitizers-ext.sh [tsan|asan|all]     (default: all)
# Build folders: build-ext-tsan and build-ext-asan beside this script's
# project, or VELARIUM_TSAN_BUILD / VELARIUM_ASAN_BUILD. Jobs: VELARIUM_JOBS (2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VELARIUM_JOBS:-2}
what=${1:-all}
tsan_build=${VELARIUM_TSAN_BUILD:-$root/build-ext-tsan}
asan_build=${VELARIUM_ASAN_BUILD:-$root/build-ext-asan}

asan_tests=(coremedia_tests mediaextension_tests farrago_tests dapple_tests playback_tests extension_concurrency_tests)
tsan_tests=(extension_concurrency_tests frame_handoff_tests)

configure() {
  local folder=$1
  shift
  cmake -S "$root" -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELARIUM_BENCHMARKS=OFF "$@" >/dev/null
}

run_tests() {
  local folder=$1
  shift
  for test in "$@"; do
    echo "== $test" >&2
    # Test programs sit in the tests/ tree that mirrors the sources.
    local program
    program=$(find "$folder/tests" -type f -name "$test" -perm -u+x | head -n 1)
    [[ -n $program ]] || { echo "no test program $test in $folder/tests" >&2; return 1; }
    "$program" --gtest_brief=1
  done
}

if [[ $what == tsan || $what == all ]]; then
  flags="-fsanitize=thread -fno-omit-frame-pointer"
  configure "$tsan_build" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread \
    -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread
  cmake --build "$tsan_build" -j "$jobs" --target "${tsan_tests[@]}"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" run_tests "$tsan_build" "${tsan_tests[@]}"
fi

if [[ $what == asan || $what == all ]]; then
  configure "$asan_build" -DVELARIUM_SANITIZE=ON
  cmake --build "$asan_build" -j "$jobs" --target "${asan_tests[@]}"
  ASAN_OPTIONS="detect_leaks=1 abort_on_error=1 ${ASAN_OPTIONS:-}" UBSAN_OPTIONS="print_stacktrace=1" \
    run_tests "$asan_build" "${asan_tests[@]}"
fi
echo "sanitizer runs passed ($what)" >&2
