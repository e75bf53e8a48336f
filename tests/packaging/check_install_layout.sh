#!/bin/sh
# Installs the desktop-integration component into a scratch prefix and checks
# that each file lands where desktops look for it, under the names the
# application id asks for; then lets appstreamcli check the installed tree
# (metainfo, the desktop entry its launchable names, the icon) as a software
# centre would see it.
# Usage: check_install_layout.sh BUILD_DIR COMPONENT PREFIX APP_ID
set -u
skip=77
build=$1
component=$2
prefix=$3
app_id=$4

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" --component "$component" > /dev/null || exit 1

failed=0
for path in \
    "share/applications/$app_id.desktop" \
    "share/mime/packages/$app_id.xml" \
    "share/icons/hicolor/scalable/apps/$app_id.svg" \
    "share/metainfo/$app_id.metainfo.xml"
do
    if [ -f "$prefix/$path" ]; then
        echo "ok   $path"
    else
        echo "FAIL $path is not installed"
        failed=1
    fi
done
[ $failed -eq 0 ] || exit 1

command -v appstreamcli >/dev/null 2>&1 || { echo "appstreamcli is not installed"; exit $skip; }
appstreamcli validate-tree --no-net "$prefix"
