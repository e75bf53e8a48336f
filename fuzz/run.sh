#!/usr/bin/env bash
# Builds the fuzz harness with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs it seeded with the corpus animations.
#
#   fuzz/run.sh [SECONDS] [more libFuzzer options...]
#
# New inputs collect in $BUILD/fuzz-corpus, faults in $BUILD/fuzz-artifacts.
# BUILD defaults to build-fuzz; VELARIUM_CORPUS_DIR points at the test corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
shift || true
build="${BUILD:-build-fuzz}"
corpus="${VELARIUM_CORPUS_DIR:-../shared/corpus}"

./scripts/install-deps.sh --fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELARIUM_FUZZ=ON -DVELARIUM_SANITIZE=ON -DVELARIUM_CORE_ONLY=ON >/dev/null
cmake --build "$build" --target anim_fuzzer -j2

# Seeds: every corpus animation (without the expected results beside them).
seeds="$build/fuzz-seeds"
mkdir -p "$seeds" "$build/fuzz-corpus" "$build/fuzz-artifacts"
if [ -d "$corpus/anim" ]; then
  find "$corpus/anim" -name '*.anim' -size -1000k -exec cp -f {} "$seeds/" \;
fi

exec "$build/fuzz/anim_fuzzer" "$build/fuzz-corpus" "$seeds" \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1 "$@"
