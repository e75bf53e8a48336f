#!/usr/bin/env bash
# velarium-tool frames against ffmpeg, whole process, side by side
# (bench/compare.sh): both decode every frame of the 1280x720 bench animation
# to raw 32-bit BGRA and throw it away, each with its default settings.
# velarium-tool writes the frames to standard output, which goes to
# /dev/null; ffmpeg writes its rawvideo stream to /dev/null. The targets,
# from the medians of the pairwise ratios: velarium-tool's peak memory at
# most half of ffmpeg's, its CPU time (user + sys) at most a quarter, and
# its wall time at most 1/3.5 of ffmpeg's. Exits 1 when one is missed.
#   bench/tool_speed.sh [ANIM] [RUNS]
# Builds velarium-tool and the two extensions in Release in build-release/
# (or VELARIUM_BENCH_BUILD_DIR), as bench/run.sh does.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELARIUM_BENCH_BUILD_DIR:-$root/build-release}
anim=${1:-$(ls "$root"/../shared/corpus/anim/bench/*.anim | head -n 1)}
runs=${2:-11}

"$root/scripts/install-deps.sh" --bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target velarium-tool farrago dapple -j2 >/dev/null
tool=$build/tools/velarium-tool/velarium-tool
anim=$(realpath "$anim")

report=$("$root/bench/compare.sh" "$runs" "'$tool' frames '$anim' --format bgra -o -" \
  "ffmpeg -v error -i '$anim' -f rawvideo -pix_fmt bgra -y /dev/null")
echo "$report"
# "A/B median: wall W, CPU C, peak memory M (N pairs)"
read -r wall cpu peak < <(echo "$report" | tail -n 1 | tr -d ',' | awk '{ print $4, $6, $9 }')
awk -v w="$wall" -v c="$cpu" -v m="$peak" 'BEGIN {
  ok = 1
  printf "peak memory %.3f of ffmpeg'"'"'s (at most 0.5)\n", m; if (m > 0.5) ok = 0
  printf "CPU time    %.3f of ffmpeg'"'"'s (at most 0.25)\n", c; if (c > 0.25) ok = 0
  printf "wall time   %.2fx faster than ffmpeg (at least 3.5)\n", 1 / w; if (1 / w < 3.5) ok = 0
  exit ok ? 0 : 1
}'
