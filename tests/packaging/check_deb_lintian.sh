#!/bin/sh
# Runs lintian on the Debian package. Errors fail the check; warnings are
# printed, and any warning not in the list of known ones below fails it too,
# so that a new warning is looked at rather than scrolled past.
# Usage: check_deb_lintian.sh DEB
set -u
skip=77
deb=$1

command -v lintian >/dev/null 2>&1 || { echo "lintian is not installed"; exit $skip; }
[ -f "$deb" ] || { echo "FAIL there is no package $deb"; exit 1; }

# Warnings we accept, with the reason (none at present), as an extended
# regular expression of tag names.
known='^$'

# As root lintian would refuse to unpack without this; it is only unpacking.
report=$(lintian --allow-root --tag-display-limit 0 --display-level '>=warning' "$deb" 2>&1)
status=$?
echo "$report"
failed=0
if echo "$report" | grep -q '^E: '; then
    echo "FAIL lintian reports errors"
    failed=1
fi
unknown=$(echo "$report" | grep '^W: ' | grep -Ev "W: [^ ]+: ($known)( |$)")
if [ -n "$unknown" ]; then
    echo "FAIL lintian warnings not yet looked at:"
    echo "$unknown"
    failed=1
fi
[ $status -le 1 ] || { echo "FAIL lintian could not check the package (status $status)"; failed=1; }
[ $failed -eq 0 ] && echo "ok   lintian: no errors, only known warnings"
exit $failed
