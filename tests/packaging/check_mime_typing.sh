#!/bin/sh
# Types files the way desktop programs built on GIO do, with the build tree's
# compiled MIME package in front of the system database, and checks that
#  - an ANIM file with no extension is typed by its content as video/x-anim,
#  - a file named *.anim is video/x-anim by name, and the system's *.animN
#    names still are,
#  - an ILBM still picture (also a FORM) stays image/x-ilbm,
#  - LHA archives keep their system globs.
# Usage: check_mime_typing.sh BUILD_DATA_DIR WORK_DIR
set -u
skip=77
data_dir=$1
work=$2

command -v gio >/dev/null 2>&1 || { echo "gio is not installed"; exit $skip; }
[ -f "$data_dir/mime/mime.cache" ] || { echo "no compiled MIME database in $data_dir (update-mime-database missing at build time?)"; exit $skip; }

rm -rf "$work"
mkdir -p "$work/files" "$work/home" || exit 1
cd "$work/files" || exit 1

# Headers only: typing reads the first bytes, and the FORM sizes need not match.
printf 'FORM\000\000\023\044ANIMFORM\000\000\023\000ILBMBMHD\000\000\000\024' > walk
printf 'FORM\000\000\023\000ILBMBMHD\000\000\000\024' > picture
# Names typed by their glob alone: the content is nothing in particular.
for name in notes.anim notes.anim5 pack.lha PACK.LZH; do
    printf 'nothing in particular\n' > "$name"
done

failed=0
while read -r name expected; do
    actual=$(XDG_DATA_HOME="$work/home" XDG_DATA_DIRS="$data_dir:/usr/share" \
             gio info -a standard::content-type "$name" 2>/dev/null |
             sed -n 's/^ *standard::content-type: *//p')
    if [ "$actual" = "$expected" ]; then
        echo "ok   $name: $actual"
    else
        echo "FAIL $name: expected $expected, got ${actual:-nothing}"
        failed=1
    fi
done <<'CASES'
walk video/x-anim
notes.anim video/x-anim
notes.anim5 video/x-anim
picture image/x-ilbm
pack.lha application/x-lha
PACK.LZH application/x-lha
CASES
exit $failed
