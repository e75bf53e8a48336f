#!/usr/bin/env bash
# Builds Velarium and shows an animation; without an argument, the bundled
# demo animation.
#   With a display: opens it in the Velarium window.
#   Without one: prints the animation's facts, plays it in real time against
#   a headless sink, and runs the application offscreen to write a
#   screenshot of its window at the middle frame and one of its info panel
#   under out/.
set -euo pipefail
if [ $# -gt 0 ]; then file="$(realpath -m -- "$1")"; fi
cd "$(dirname "$0")/.."
file="${file:-$PWD/demo/velarium-demo.anim}"

./scripts/build.sh --target velarium velarium-tool farrago dapple velarium_build_mime_database >/dev/null
app=build/app/velarium
tool=build/tools/velarium-tool/velarium-tool

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$app" "$file"
fi

"$tool" info "$file"
echo
"$tool" play "$file"
echo

mkdir -p out
name="$(basename "$file")"
window_png="out/$name-window.png"
info_png="out/$name-info.png"
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
# The offscreen platform says which window calls it ignores; only the
# application's own message matters here.
XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
  "$app" --screenshot "$window_png" --info-screenshot "$info_png" --frame middle "$file" \
  2> >(grep -v -e '^This plugin does not support' >&2)
echo "No display: the Velarium window at the middle frame is in $window_png,"
echo "its info panel in $info_png."
