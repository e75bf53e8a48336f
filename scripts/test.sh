#!/usr/bin/env bash
# Builds everything and runs every test: the full suite, then the core and
# its robustness tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

./scripts/build.sh
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 600

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELARIUM_SANITIZE=ON -DVELARIUM_CORE_ONLY=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 900
