#!/usr/bin/env bash
# Decoding speed of the GStreamer plugin, whole process, side by side
# (bench/compare.sh), over the 1280x720 bench animation:
#   1. gst-launch-1.0 filesrc ! decodebin ! fakesink (A) against
#      velarium-tool frames --format bgra --jobs 1 (B): A/B should stay at
#      or below 1.5;
#   2. ffmpeg decoding the same file to BGRA (A) against the plugin (B):
#      A/B should stay at or above 2.
#   bench/gstreamer_speed.sh [ANIM] [RUNS]
# Uses the plugin and tool of build/ (scripts/build.sh), or of
# VELARIUM_BUILD_DIR; GStreamer keeps its registry in a temporary file, so
# the plugin from the build never enters the user's own registry.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELARIUM_BUILD_DIR:-$root/build}
tool=$build/tools/velarium-tool/velarium-tool
plugin_dir=$build/gstreamer
anim=${1:-$(ls "$root"/../shared/corpus/anim/bench/*.anim | head -n 1)}
runs=${2:-11}

[[ -x $tool && -f $plugin_dir/libgstvelarium.so ]] ||
  { echo "build velarium-tool and gstvelarium in $build first" >&2; exit 1; }
"$root/scripts/install-deps.sh" --bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_PLUGIN_PATH=$plugin_dir GST_REGISTRY=$work/registry.bin
anim=$(realpath "$anim")

gst="gst-launch-1.0 -q filesrc location='$anim' ! decodebin ! fakesink sync=false"
velarium="'$tool' frames '$anim' --format bgra -o - --jobs 1"
ffmpeg="ffmpeg -v error -i '$anim' -f rawvideo -pix_fmt bgra -y /dev/null"

# The registry is built once, outside the timed runs. Without the plugin,
# decodebin would quietly fall back on libav's ANIM reader.
gst-inspect-1.0 velariumdemux >/dev/null || { echo "the plugin in $plugin_dir does not load" >&2; exit 1; }
bash -c "$gst"
echo "== the plugin (A) against velarium-tool (B): at most 1.5"
"$root/bench/compare.sh" "$runs" "$gst" "$velarium"
echo "== ffmpeg (A) against the plugin (B): at least 2"
"$root/bench/compare.sh" "$runs" "$ffmpeg" "$gst"
