#!/usr/bin/env bash
# Builds one fuzz harness with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs it for a given time, seeded from the test corpus.
#
#   fuzz/run.sh TARGET [SECONDS] [more libFuzzer options...]
#
# TARGET is one of
#   anim      the decoding core: parse and deliver every frame;
#   archive   LHA extraction: nothing may be written outside the destination;
#   pipeline  the GStreamer elements hosting both extensions, the input pushed
#             through appsrc ! velariumdemux ! velariumdec ! fakesink.
# SECONDS defaults to 600.
# New inputs collect in $BUILD/fuzz-corpus/TARGET, faults in
# $BUILD/fuzz-artifacts/TARGET. BUILD defaults to build-fuzz;
# VELARIUM_CORPUS_DIR points at the test corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: fuzz/run.sh anim|archive|pipeline [SECONDS] [libFuzzer options...]"
target="${1:?$usage}"
shift
seconds="${1:-600}"
shift || true
build="${BUILD:-build-fuzz}"
corpus="${VELARIUM_CORPUS_DIR:-../shared/corpus}"
seeds="$build/fuzz-seeds/$target"
mkdir -p "$seeds" "$build/fuzz-corpus/$target" "$build/fuzz-artifacts/$target"

# copy_seeds FOLDER PATTERN...: the matching files under FOLDER below 1 MB, each named
# by its path there, so that files of one name in different folders all count.
copy_seeds() {
  local folder="$1"
  shift
  [ -d "$folder" ] || return 0
  local patterns=() pattern
  for pattern in "$@"; do patterns+=(-o -name "$pattern"); done
  find "$folder" -type f -size -1000k \( "${patterns[@]:1}" \) -print0 |
    while IFS= read -r -d '' file; do
      local relative="${file#"$folder"/}"
      cp -f "$file" "$seeds/${relative//\//_}"
    done
}

case "$target" in
  anim)
    binary=anim_fuzzer
    options=(-max_len=65536)
    copy_seeds "$corpus/anim" '*.anim'
    ;;
  archive)
    binary=archive_fuzzer
    # Its scratch folders go where writing is cheapest.
    if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
    options=(-max_len=262144)
    copy_seeds "$corpus/lha" '*.lha' '*.lzh'
    ;;
  pipeline)
    binary=pipeline_fuzzer
    options=(-max_len=131072 -timeout=30)
    copy_seeds "$corpus/anim" '*.anim'
    ;;
  *)
    echo "$usage" >&2
    exit 2
    ;;
esac

./scripts/install-deps.sh --fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELARIUM_FUZZ=ON -DVELARIUM_SANITIZE=ON -DVELARIUM_APP=OFF -DVELARIUM_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target "$binary" -j2

exec "$build/fuzz/$binary" "$build/fuzz-corpus/$target" "$seeds" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${options[@]}" \
  -artifact_prefix="$build/fuzz-artifacts/$target/" -print_final_stats=1 "$@"
