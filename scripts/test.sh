#!/usr/bin/env bash
# Builds everything and runs every test: the full suite, then everything again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the concurrency
# tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

./scripts/build.sh
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 600

# Everything again under AddressSanitizer (with leak checks) and
# UndefinedBehaviorSanitizer, then the concurrency tests under ThreadSanitizer.
# -O1 with line tables only: sanitizer reports still name every function and
# line, and the build takes a good deal less time than -O2 with full debug
# information.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELARIUM_SANITIZE=ON -DVELARIUM_BENCHMARKS=OFF \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 LSAN_OPTIONS=suppressions="$PWD/tests/lsan-suppressions.txt" \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 900

VELARIUM_JOBS="$jobs" ./scripts/test-sanitizers-ext.sh tsan
