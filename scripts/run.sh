#!/usr/bin/env bash
# Builds velarium-tool and shows an animation: its facts, a real-time playback
# against a headless sink, then every frame written as PNG under out/.
# Without an argument it uses the bundled demo animation.
set -euo pipefail
if [ $# -gt 0 ]; then file="$(realpath -m -- "$1")"; fi
cd "$(dirname "$0")/.."
file="${file:-$PWD/demo/velarium-demo.anim}"

./scripts/build.sh --target velarium-tool farrago dapple >/dev/null
tool=build/tools/velarium-tool/velarium-tool
"$tool" info "$file"
echo
"$tool" play "$file"
echo
out="out/$(basename "$file")-frames"
"$tool" frames "$file" -o "$out" --format png
echo "Frames written to $out/"
