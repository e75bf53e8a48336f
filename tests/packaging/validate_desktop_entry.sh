#!/bin/sh
# Checks the desktop entry with desktop-file-validate. Errors and warnings
# fail the check; hints (such as the entry naming both AudioVideo and Graphics
# as main categories, which is deliberate) do not.
# Usage: validate_desktop_entry.sh DESKTOP_FILE
set -u
skip=77

command -v desktop-file-validate >/dev/null 2>&1 || { echo "desktop-file-validate is not installed"; exit $skip; }

report=$(desktop-file-validate "$1" 2>&1)
status=$?
[ -n "$report" ] && echo "$report"
[ $status -eq 0 ] || exit 1
if echo "$report" | grep -E ': (error|warning): ' >/dev/null; then
    exit 1
fi
exit 0
