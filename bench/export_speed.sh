#!/usr/bin/env bash
# velarium-tool convert against ffmpeg, whole process, side by side
# (bench/compare.sh): both make the same format from the 1280x720 bench
# animation. ffmpeg: `-f apng`; `-c:v libwebp_anim -lossless 1`; GIF by the
# two passes of palettegen and paletteuse. Prints, per format, the medians of
# the pairwise ratios of wall time, CPU time and peak memory, and the size
# of each file. The targets: APNG at least 3x faster, WebP and GIF at least
# 2x; no file larger than ffmpeg's; peak memory no more than ffmpeg's. Exits
# 1 when one is missed.
#   bench/export_speed.sh [ANIM] [RUNS] [FORMAT...]
# Builds velarium-tool and the two extensions in Release in build-release/
# (or VELARIUM_BENCH_BUILD_DIR), as bench/run.sh does.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELARIUM_BENCH_BUILD_DIR:-$root/build-release}
anim=${1:-$(ls "$root"/../shared/corpus/anim/bench/*.anim | head -n 1)}
runs=${2:-5}
shift $(($# > 2 ? 2 : $#))
formats=("${@:-apng webp gif}")
read -r -a formats <<<"${formats[*]}"

"$root/scripts/install-deps.sh" --bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target velarium-tool farrago dapple -j2 >/dev/null
tool=$build/tools/velarium-tool/velarium-tool
anim=$(realpath "$anim")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

ffmpegCommand() {
  case $1 in
  apng) echo "ffmpeg -v error -i '$anim' -f apng -plays 0 -y '$out/ffmpeg.apng'" ;;
  webp) echo "ffmpeg -v error -i '$anim' -c:v libwebp_anim -lossless 1 -loop 0 -y '$out/ffmpeg.webp'" ;;
  gif) echo "ffmpeg -v error -i '$anim' -filter_complex '[0:v]split[a][b];[a]palettegen[p];[b][p]paletteuse' -loop 0 -y '$out/ffmpeg.gif'" ;;
  esac
}

speedup() { case $1 in apng) echo 3 ;; *) echo 2 ;; esac; }

ok=1
for format in "${formats[@]}"; do
  echo "== $format"
  report=$("$root/bench/compare.sh" "$runs" "'$tool' convert '$anim' -o '$out/velarium.$format' --force" \
    "$(ffmpegCommand "$format")")
  echo "$report"
  # "A/B median: wall W, CPU C, peak memory M (N pairs)"
  read -r wall cpu peak < <(echo "$report" | tail -n 1 | tr -d ',' | awk '{ print $4, $6, $9 }')
  ours=$(stat -c %s "$out/velarium.$format") theirs=$(stat -c %s "$out/ffmpeg.$format")
  awk -v w="$wall" -v c="$cpu" -v m="$peak" -v s="$(speedup "$format")" -v a="$ours" -v b="$theirs" 'BEGIN {
    ok = 1
    printf "wall time   %.2fx faster than ffmpeg (at least %d)\n", 1 / w, s; if (1 / w < s) ok = 0
    printf "CPU time    %.3f of ffmpeg'"'"'s\n", c
    printf "peak memory %.3f of ffmpeg'"'"'s (at most 1)\n", m; if (m > 1) ok = 0
    printf "size        %d bytes, ffmpeg %d (%.3f; at most 1)\n", a, b, a / b; if (a > b) ok = 0
    exit ok ? 0 : 1
  }' || ok=0
done
((ok))
