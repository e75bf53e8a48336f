#!/usr/bin/env bash
# Builds velarium-tool and shows an animation: its facts, then every frame
# written as PNG under out/. Without an argument it uses the bundled demo.
set -euo pipefail
cd "$(dirname "$0")/.."
file="${1:-demo/velarium-demo.anim}"
case "$file" in /*) ;; *) [ -e "$file" ] || file="$OLDPWD/$file" ;; esac
./scripts/build.sh --target velarium-tool >/dev/null
tool=build/tools/velarium-tool/velarium-tool
"$tool" info "$file"
out="out/$(basename "$file")-frames"
"$tool" frames "$file" -o "$out" --format png
echo "Frames written to $out/"
