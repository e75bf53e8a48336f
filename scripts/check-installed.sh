#!/usr/bin/env bash
# Tries the installed Debian package the way a desktop uses it, on a Debian 12
# machine (it installs and removes system packages: run it on a machine or
# container you can change, never where the GStreamer tests run, since the
# installed plugin would shadow the one under test).
#
#   scripts/check-installed.sh [--deb PACKAGE.deb] [--remove] [FILE.anim]
#
#   --deb      installs the package first (apt-get install ./PACKAGE.deb);
#              without it the package must already be installed
#   --remove   removes the package at the end and checks that the MIME and
#              desktop databases are as they were before it was installed
#              (only with --deb, on a machine where it was not installed)
#   FILE.anim  the animation to try (default: a corpus file beside the
#              repository, else the bundled demo)
#
# It checks: the desktop entry is in the menu and opens ANIM files; the
# installed application shows the animation; the file and an extension-less
# copy are typed video/x-anim; gst-discoverer-1.0 and
# gst-play-1.0 play it through the installed GStreamer plugin; GNOME's
# video thumbnailer (totem-video-thumbnailer, installed for the run) makes a
# PNG thumbnail of both whose pixels match one of the animation's frames, as
# does Xfce's thumbnailer (tumbler, installed for the run) over D-Bus; and
# Dolphin's thumbnail plugin is where kio-extras looks, with its metadata.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deb="" remove=0 file=""
while (($#)); do
  case $1 in
    --deb) deb=$(realpath -- "$2"); shift 2 ;;
    --remove) remove=1; shift ;;
    -h | --help) sed -n '2,22p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) file=$(realpath -- "$1"); shift ;;
  esac
done
if [[ -z $file ]]; then
  file=$root/../shared/corpus/anim/real/amospro_Bug.anim
  [[ -f $file ]] || file=$root/demo/velarium-demo.anim
fi

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
failed=0
fail() { echo "FAIL $*"; failed=1; }
ok() { echo "ok   $*"; }

"$root/scripts/install-deps.sh" --installed-checks || exit 1

databases=(/usr/share/mime/mime.cache /usr/share/mime/globs2 /usr/share/mime/magic /usr/share/applications/mimeinfo.cache)
snapshot() { for f in "${databases[@]}"; do [[ -f $f ]] && md5sum "$f" || echo "absent $f"; done; }
before=$(snapshot)

if [[ -n $deb ]]; then
  dpkg -s velarium >/dev/null 2>&1 && [[ $remove == 1 ]] &&
    { echo "velarium is installed already: --remove could not compare the databases with a clean state" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null || { echo "could not install $deb" >&2; exit 1; }
fi
dpkg -s velarium >/dev/null 2>&1 || { echo "the velarium package is not installed (give --deb)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bare=$work/ANIMATION  # the same file without a name that says what it is
cp -- "$file" "$bare"

# The menu and the default application.
entry=/usr/share/applications/com.brackwater.Velarium.desktop
desktop-file-validate "$entry" && ok "the desktop entry is valid" || fail "desktop-file-validate $entry"
grep -q '^video/x-anim=.*com.brackwater.Velarium.desktop' /usr/share/applications/mimeinfo.cache &&
  ok "the desktop database lists Velarium for video/x-anim" || fail "mimeinfo.cache does not list Velarium for video/x-anim"
default=$(xdg-mime query default video/x-anim 2>/dev/null)
[[ $default == com.brackwater.Velarium.desktop ]] && ok "ANIM files open in Velarium" ||
  fail "the default application for video/x-anim is '$default'"

# The installed application shows the animation through the installed extensions.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work velarium --screenshot "$work/window.png" --frame middle "$file" \
  >"$work/app.log" 2>&1 && [[ -s $work/window.png ]] && ok "velarium shows $(basename "$file") (offscreen)" ||
  fail "velarium --screenshot: $(cat "$work/app.log")"

# Types, by name and by content.
for f in "$file" "$bare"; do
  type=$(gio info -a standard::content-type "$f" | sed -n 's/^ *standard::content-type: //p')
  [[ $type == video/x-anim ]] && ok "$(basename "$f") is typed video/x-anim" || fail "$(basename "$f") is typed '$type'"
done

# GStreamer, through the installed plugin only.
export GST_REGISTRY=$work/registry.bin
unset GST_PLUGIN_PATH
plugin=$(gst-inspect-1.0 velarium 2>/dev/null | sed -n 's/^ *Filename *//p')
[[ -n $plugin ]] && plugin=$(realpath -- "$plugin")  # /lib is /usr/lib on Debian 12
[[ $plugin == /usr/lib/* ]] && ok "GStreamer finds the plugin at $plugin" || fail "gst-inspect-1.0 velarium: '$plugin'"
for f in "$file" "$bare"; do
  facts=$(timeout 60 gst-discoverer-1.0 "$f" 2>&1)
  echo "$facts" | grep -q 'Duration: ' && echo "$facts" | grep -q 'Width: ' &&
    ok "gst-discoverer-1.0 $(basename "$f"): $(echo "$facts" | grep -m1 'Duration: ' | xargs), $(echo "$facts" | grep -m1 'Width: ' | xargs) × $(echo "$facts" | grep -m1 'Height: ' | xargs)" ||
    fail "gst-discoverer-1.0 $(basename "$f"): $facts"
  if timeout 120 gst-play-1.0 --no-interactive --videosink=fakesink --audiosink=fakesink "$f" >"$work/play.log" 2>&1 &&
    ! grep -qi 'error' "$work/play.log"; then
    ok "gst-play-1.0 plays $(basename "$f") to the end"
  else
    fail "gst-play-1.0 $(basename "$f"): $(cat "$work/play.log")"
  fi
done

# Thumbnails: each must show one of the animation's frames, scaled.
size=$(velarium-tool info "$file" --json | python3 -c 'import json, sys; j = json.load(sys.stdin); print(j["width"], j["height"])')
read -r width height <<<"$size"
velarium-tool frames "$file" -o - --format bgra >"$work/frames.bgra" || fail "velarium-tool frames $file"
file_uri() { python3 -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$1"; }

# check_thumbnail PNG WHAT: the thumbnail, and every frame scaled to its
# size, as RGB; the closest frame must match it closely (the scalers differ
# a little at edges).
check_thumbnail() {
  local out=$1 what=$2 geometry tw th verdict frame mean
  geometry=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$out")
  tw=${geometry%,*} th=${geometry#*,}
  ffmpeg -v error -i "$out" -f rawvideo -pix_fmt rgb24 -y "$work/thumb.rgb"
  ffmpeg -v error -f rawvideo -pix_fmt bgra -s "${width}x$height" -i "$work/frames.bgra" \
    -vf "scale=$tw:$th:flags=bilinear" -f rawvideo -pix_fmt rgb24 -y "$work/frames.rgb"
  verdict=$(python3 - "$work/thumb.rgb" "$work/frames.rgb" <<'PY'
import sys
thumb = open(sys.argv[1], "rb").read()
frames = open(sys.argv[2], "rb").read()
n = len(thumb)
best = None
for index in range(len(frames) // n):
    frame = frames[index * n:(index + 1) * n]
    # A few hundred pixels spread over the picture, not all of it.
    step = max(3, (n // 3 // 400) * 3)
    diff = sum(abs(thumb[i + c] - frame[i + c]) for i in range(0, n - 2, step) for c in range(3))
    mean = diff / (3 * len(range(0, n - 2, step)))
    if best is None or mean < best[1]:
        best = (index, mean)
print(best[0], round(best[1], 2))
PY
)
  read -r frame mean <<<"$verdict"
  if python3 -c "import sys; sys.exit(0 if float('$mean') <= 12 else 1)"; then
    ok "$what (${tw}×$th) matches frame $frame (mean difference $mean of 255)"
  else
    fail "$what matches no frame (closest: frame $frame, mean difference $mean of 255)"
  fi
}

# GNOME's thumbnailer, exactly as the desktop runs it.
thumbnailer=/usr/share/thumbnailers/totem.thumbnailer
grep -q '^MimeType=.*video/x-anim' "$thumbnailer" || fail "$thumbnailer does not list video/x-anim"
exec_line=$(sed -n 's/^Exec=//p' "$thumbnailer")
for f in "$file" "$bare"; do
  out=$work/$(basename "$f").png
  command=${exec_line//%s/256}
  command=${command//%u/$(file_uri "$f")}
  command=${command//%i/$f}
  command=${command//%o/$out}
  rm -f "$out"
  if ! timeout 120 sh -c "$command" >"$work/thumb.log" 2>&1 || [[ ! -s $out ]]; then
    fail "the thumbnailer made nothing for $(basename "$f"): $(cat "$work/thumb.log")"
    continue
  fi
  check_thumbnail "$out" "GNOME's thumbnail of $(basename "$f")"
done

# Xfce's thumbnailer (tumbler, whose GStreamer thumbnailer goes through the
# plugin), asked over D-Bus as Thunar asks it, on a session bus of its own
# and with a cache of its own.
uri=$(file_uri "$file")
out=$work/cache/thumbnails/normal/$(printf %s "$uri" | md5sum | cut -d' ' -f1).png
XDG_CACHE_HOME=$work/cache timeout 120 dbus-run-session -- sh -c '
  gdbus call --session --dest org.freedesktop.thumbnails.Thumbnailer1 \
    --object-path /org/freedesktop/thumbnails/Thumbnailer1 \
    --method org.freedesktop.thumbnails.Thumbnailer1.Queue "[\"$1\"]" "[\"video/x-anim\"]" normal default 0 &&
  for i in $(seq 200); do [ -s "$2" ] && sleep 1 && exit 0; sleep 0.5; done; exit 1' sh "$uri" "$out" \
  >"$work/tumbler.log" 2>&1
if [[ -s $out ]]; then
  check_thumbnail "$out" "Xfce's thumbnail of $(basename "$file")"
else
  fail "tumbler made no thumbnail of $(basename "$file"): $(cat "$work/tumbler.log")"
fi

# Dolphin's thumbnail plugin, in the folder kio-extras's thumbnail worker
# searches, claiming ANIM files and hover sequences in its built-in metadata.
thumbcreator=$(dpkg -L velarium | grep '/qt5/plugins/kf5/thumbcreator/velariumthumbnail\.so$')
if [[ -f $thumbcreator ]] && grep -qa 'video/x-anim' "$thumbcreator" && grep -qa 'HandleSequences' "$thumbcreator"; then
  ok "Dolphin's thumbnail plugin is at $thumbcreator"
else
  fail "no Dolphin thumbnail plugin with its metadata in the package: '$thumbcreator'"
fi

if [[ $remove == 1 ]]; then
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get remove -y -qq velarium >/dev/null || fail "could not remove velarium"
  [[ -e $entry ]] && fail "$entry is still there after removal"
  after=$(snapshot)
  [[ $after == "$before" ]] && ok "after removal the MIME and desktop databases are as before installation" ||
    fail "the databases differ after removal: $(diff <(echo "$before") <(echo "$after"))"
fi

((failed == 0)) && echo "everything checked works" || echo "some checks failed"
exit $failed
