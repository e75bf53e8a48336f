#!/bin/sh
# Compiles the MIME package on its own with update-mime-database and checks
# that the compiled database holds what the package means to add: the *.anim
# glob, the nested "FORM" at 0 / "ANIM" at 8 content rule at priority 60, and
# video/x-anim as a kind of application/x-iff.
# Usage: check_mime_package.sh MIME_PACKAGE WORK_DIR
set -u
skip=77
package=$1
work=$2

command -v update-mime-database >/dev/null 2>&1 || { echo "update-mime-database is not installed"; exit $skip; }

rm -rf "$work"
mkdir -p "$work/mime/packages" || exit 1
cp "$package" "$work/mime/packages/" || exit 1
# It always warns that the folder is not on the search path; show its output only when it fails.
output=$(update-mime-database "$work/mime" 2>&1)
[ -f "$work/mime/mime.cache" ] || { echo "$output"; echo "update-mime-database wrote no mime.cache"; exit 1; }

failed=0
fail() { echo "FAIL: $*"; failed=1; }

grep -qx '[0-9]*:video/x-anim:\*\.anim' "$work/mime/globs2" || fail "globs2 has no *.anim glob for video/x-anim"
grep -qx 'video/x-anim application/x-iff' "$work/mime/subclasses" || fail "video/x-anim is not a subclass of application/x-iff"

# The magic file is text apart from the two-byte big-endian value lengths;
# dropping those leaves one readable line per match. The rule must be the
# nested pair, so that a FORM of any other type never matches it.
rule=$(tr -d '\000\004' < "$work/mime/magic" | awk '
    /^\[/ { inside = ($0 == "[60:video/x-anim]") }
    inside')
expected='[60:video/x-anim]
>0=FORM
1>8=ANIM'
[ "$rule" = "$expected" ] || fail "content rule for video/x-anim is not FORM at 0 with ANIM at 8, priority 60; compiled:
$rule"

exit $failed
