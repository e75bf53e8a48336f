#!/usr/bin/env bash
# Builds the Debian package velarium_<version>_<arch>.deb with CPack.
#
#   scripts/package.sh [--output DIR]
#       installs what is missing, configures build-deb/ (Release, prefix /usr),
#       builds what the package holds and packages it;
#   scripts/package.sh --build-dir BUILD [--output DIR]
#       packages a tree that is already built, as Release with prefix /usr
#       (nothing is built).
#
# The package is written to DIR (default out/) and its path printed last.
# Nothing is installed on this machine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=""
output="$root/out"

die() {
  echo "package.sh: $*" >&2
  exit 1
}

while (($#)); do
  case $1 in
    --build-dir | --output)
      (($# >= 2)) || die "$1 needs a folder"
      if [[ $1 == --build-dir ]]; then build=$(realpath -m -- "$2"); else output=$(realpath -m -- "$2"); fi
      shift 2
      ;;
    -h | --help)
      sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
done

if [[ -z $build ]]; then
  "$root/scripts/install-deps.sh"
  build="$root/build-deb"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELARIUM_BENCHMARKS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target velarium_package_contents
fi

# The tree must be what users get: Release, meant for /usr, no sanitizers.
cache="$build/CMakeCache.txt"
[[ -f $cache ]] || die "no configured build tree in $build"
setting() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
[[ $(setting CMAKE_INSTALL_PREFIX) == /usr ]] ||
  die "$build is configured for $(setting CMAKE_INSTALL_PREFIX); the package needs CMAKE_INSTALL_PREFIX=/usr"
[[ $(setting CMAKE_BUILD_TYPE) == Release ]] || die "$build is a $(setting CMAKE_BUILD_TYPE) build; the package needs Release"
[[ $(setting VELARIUM_SANITIZE) != ON ]] || die "$build is a sanitizer build"
command -v dpkg-shlibdeps >/dev/null || die "dpkg-shlibdeps is missing (package dpkg-dev; scripts/install-deps.sh installs it)"

# CPack stages the installation in a folder of its own, never in /usr.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  die "cpack failed"
fi
# dpkg-shlibdeps's warnings are worth seeing.
grep -i 'warning' "$work/cpack.log" >&2 || true

shopt -s nullglob
debs=("$work"/velarium_*.deb)
((${#debs[@]} == 1)) || die "cpack made ${#debs[@]} packages instead of one"
mkdir -p "$output"
mv -f "${debs[0]}" "$output/"
echo "$output/$(basename "${debs[0]}")"
