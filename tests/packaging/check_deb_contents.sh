#!/bin/sh
# Checks the Debian package as dpkg would take it, without installing it:
# its control fields and dependencies, that it brings no maintainer scripts
# (dpkg's triggers update the MIME and desktop databases), its exact file
# list under /usr with owners and modes, and that its programs and modules
# are stripped and carry no run path.
# Usage: check_deb_contents.sh DEB VERSION [PLUGIN [THUMBNAILER]]
#   PLUGIN: where the GStreamer plugin must be in the package (for example
#   usr/lib/x86_64-linux-gnu/gstreamer-1.0/libgstvelarium.so), when the
#   project builds it; empty when it does not.
#   THUMBNAILER: where the Dolphin thumbnail plugin must be (for example
#   usr/lib/x86_64-linux-gnu/qt5/plugins/kf5/thumbcreator/velariumthumbnail.so),
#   when the project builds it.
set -u
skip=77
deb=$1
version=$2
plugin=${3:-}
thumbnailer=${4:-}

for tool in dpkg-deb readelf; do
    command -v $tool >/dev/null 2>&1 || { echo "$tool is not installed"; exit $skip; }
done
[ -f "$deb" ] || { echo "FAIL there is no package $deb"; exit 1; }

failed=0
fail() {
    echo "FAIL $*"
    failed=1
}
field() { dpkg-deb --field "$deb" "$1"; }

# Control fields.
[ "$(field Package)" = velarium ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
for name in Maintainer Section Homepage Description; do
    [ -n "$(field $name)" ] || fail "no $name field"
done
# Dependencies: the libraries the programs link, found by dpkg-shlibdeps,
# and Qt's platform plugins, which it cannot see.
depends=$(field Depends)
echo "Depends: $depends"
needed="libc6 libqt6widgets6 libqt6dbus6 liblhasa0 libpng16-16 qt6-qpa-plugins"
[ -n "$plugin" ] && needed="$needed libgstreamer1.0-0 libgstreamer-plugins-base1.0-0"
for package in $needed; do
    echo "$depends" | grep -Eq "(^|, )$package( |,|$)" || fail "Depends does not name $package"
done
# The Dolphin plugin's KDE and Qt 5 libraries come with kio-extras, which
# the package enhances; they are no dependencies of the whole package.
if [ -n "$thumbnailer" ]; then
    echo "$depends" | grep -Eq "libkf5|libqt5" && fail "Depends names KDE Frameworks 5 or Qt 5 libraries"
    [ "$(field Enhances)" = kio-extras ] || fail "Enhances is '$(field Enhances)', not kio-extras"
fi

# No maintainer scripts.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -Ex 'preinst|postinst|prerm|postrm|config')
[ -z "$scripts" ] || fail "maintainer scripts in the package: $scripts"

# The file list, exactly: every file, its mode and its owner.
listing=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv --numeric-owner | awk '{ sub(/^\.\//, "", $6); print $1, $2, $6 }')
echo "$listing"
expected_files="usr/bin/velarium -rwxr-xr-x
usr/bin/velarium-tool -rwxr-xr-x
usr/lib/velarium/extensions/Dapple.json -rw-r--r--
usr/lib/velarium/extensions/Dapple.so -rw-r--r--
usr/lib/velarium/extensions/Farrago.json -rw-r--r--
usr/lib/velarium/extensions/Farrago.so -rw-r--r--
usr/share/applications/com.brackwater.Velarium.desktop -rw-r--r--
usr/share/doc/velarium/changelog.gz -rw-r--r--
usr/share/doc/velarium/copyright -rw-r--r--
usr/share/icons/hicolor/scalable/apps/com.brackwater.Velarium.svg -rw-r--r--
usr/share/man/man1/velarium-tool.1.gz -rw-r--r--
usr/share/man/man1/velarium.1.gz -rw-r--r--
usr/share/metainfo/com.brackwater.Velarium.metainfo.xml -rw-r--r--
usr/share/mime/packages/com.brackwater.Velarium.xml -rw-r--r--"
[ -n "$plugin" ] && expected_files="$expected_files
$plugin -rw-r--r--"
[ -n "$thumbnailer" ] && expected_files="$expected_files
$thumbnailer -rw-r--r--"
actual_files=$(echo "$listing" | awk '$1 !~ /^d/ { print $3, $1 }' | sort)
expected_files=$(echo "$expected_files" | sort)
if [ "$actual_files" != "$expected_files" ]; then
    fail "the files differ from the expected list (- expected, + in the package):"
    diff_file=$(mktemp)
    echo "$expected_files" > "$diff_file"
    echo "$actual_files" | diff -u "$diff_file" - | grep -E '^[-+][^-+]'
    rm -f "$diff_file"
fi
echo "$listing" | awk '$2 != "0/0" { print "FAIL not owned by root: " $3; bad = 1 } END { exit bad }' || failed=1
echo "$listing" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print "FAIL folder mode " $1 ": " $3; bad = 1 } END { exit bad }' || failed=1
echo "$listing" | awk '$3 !~ /^usr\// { print "FAIL outside /usr: " $3; bad = 1 } END { exit bad }' || failed=1

# Programs and modules: stripped, no run path.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for file in $(echo "$listing" | awk '$1 !~ /^d/ { print $3 }'); do
    head -c 4 "$unpacked/$file" | grep -q "ELF" || continue
    readelf -S "$unpacked/$file" | grep -Eq '\.symtab|\.debug_' && fail "$file is not stripped"
    readelf -d "$unpacked/$file" | grep -Eq 'RPATH|RUNPATH' && fail "$file has a run path"
done

[ $failed -eq 0 ] && echo "ok   the package's control data and files"
exit $failed
