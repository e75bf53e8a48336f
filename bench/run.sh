#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them. Extra arguments go to the
# benchmark, e.g. ./bench/run.sh --benchmark_filter=Conversion
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELARIUM_BENCH_BUILD_DIR:-$root/build-release}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELARIUM_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target velarium_bench -j2
exec "$build/bench/velarium_bench" "$@"
