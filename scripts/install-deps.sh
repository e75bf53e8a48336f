#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Does nothing (quietly) when all of them are already present.
# Options add what only some scripts need (any number of them):
#   --fuzz              clang and its sanitizer runtime, for fuzz/run.sh;
#   --bench             the yardsticks of the whole-process speed comparisons
#                       under bench/: the lhasa program, ffmpeg, and GNU time
#                       for their CPU times and peak memory;
#   --installed-checks  what scripts/check-installed.sh uses to try the
#                       installed package as a desktop would: GNOME's video
#                       thumbnailer, Xfce's (tumbler, with its extra
#                       plugins, asked over a private session bus), ffmpeg
#                       for their pixels, and the GLib and freedesktop query
#                       tools.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libssl-dev nlohmann-json3-dev libcli11-dev
  # The desktop application: Qt 6 Widgets, D-Bus, translations, headless and
  # virtual displays, a session bus for the single-instance tests, fonts.
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-qpa-plugins libqt6svg6
  xvfb xauth dbus fonts-dejavu-core
  # Desktop integration files and their checks.
  shared-mime-info desktop-file-utils appstream
  # LHA archives.
  liblhasa-dev
  # The Dolphin thumbnail plugin: KDE Frameworks 5's KIO, which brings Qt 5's
  # development files with it (Debian 12's Dolphin is a Qt 5 program).
  libkf5kio-dev
  # The GStreamer plugin and its tests: headers, gst-launch, gst-discoverer,
  # the base and good elements (decodebin, videoconvert, appsink). libav is
  # there so that the tests also run beside its IFF typefinder.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-base-apps
  gstreamer1.0-libav
  # The exporter: libdeflate for APNG (zlib checks it in the tests), libwebp,
  # giflib, Leptonica's quantiser for pictures of more than 256 colours, and
  # the VP9 (good) and H.264 through openh264 (bad) encoders and their muxers
  # for WebM and MP4.
  libdeflate-dev zlib1g-dev libwebp-dev libgif-dev libleptonica-dev gstreamer1.0-plugins-bad
  # ffmpeg and ffprobe, run as programs by the video export tests to read
  # WebM and MP4 back as players do (never linked).
  ffmpeg
  # The Debian package: dpkg-shlibdeps for its dependencies, lintian to check it.
  dpkg-dev lintian
)

for option in "$@"; do
  case $option in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    --bench) packages+=(lhasa ffmpeg time) ;;
    --installed-checks) packages+=(totem tumbler tumbler-plugins-extra dbus libglib2.0-bin xdg-utils ffmpeg) ;;
    *) echo "install-deps.sh: unknown option $option" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
