#!/usr/bin/env bash
# Builds a fuzz harness with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs it seeded with the corpus.
#
#   fuzz/run.sh TARGET [SECONDS] [more libFuzzer options...]
#
# TARGET is one of
#   anim      the decoding core: parse and deliver every frame;
#   pipeline  the GStreamer elements hosting both extensions, the input pushed
#             through appsrc ! velariumdemux ! velariumdec ! fakesink.
#
# New inputs collect in $BUILD/fuzz-corpus/TARGET, faults in
# $BUILD/fuzz-artifacts/TARGET. BUILD defaults to build-fuzz;
# VELARIUM_CORPUS_DIR points at the test corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: fuzz/run.sh anim|pipeline [SECONDS] [libFuzzer options...]" >&2
  exit 2
}
target="${1:-}"
shift || usage
seconds="${1:-600}"
shift || true
build="${BUILD:-build-fuzz}"
corpus="${VELARIUM_CORPUS_DIR:-../shared/corpus}"

# Per target: the harness, where its seeds come from, the longest input and
# libFuzzer's time limit per input (seconds).
case "$target" in
  anim)
    fuzzer=anim_fuzzer seeds_from="$corpus/anim" seed_pattern='*.anim' max_len=65536 timeout=10 ;;
  pipeline)
    fuzzer=pipeline_fuzzer seeds_from="$corpus/anim" seed_pattern='*.anim' max_len=131072 timeout=30 ;;
  *) usage ;;
esac

./scripts/install-deps.sh --fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELARIUM_FUZZ=ON -DVELARIUM_SANITIZE=ON -DVELARIUM_APP=OFF -DVELARIUM_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target "$fuzzer" -j2

# Seeds: the corpus files of the target's kind under 1 MB (without the
# expected results beside them).
seeds="$build/fuzz-seeds/$target"
mkdir -p "$seeds" "$build/fuzz-corpus/$target" "$build/fuzz-artifacts/$target"
if [ -d "$seeds_from" ]; then
  find "$seeds_from" -name "$seed_pattern" -size -1000k -exec cp -f {} "$seeds/" \;
fi

exec "$build/fuzz/$fuzzer" "$build/fuzz-corpus/$target" "$seeds" \
  -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" -rss_limit_mb=2048 \
  -artifact_prefix="$build/fuzz-artifacts/$target/" -print_final_stats=1 "$@"
