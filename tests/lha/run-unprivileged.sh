#!/bin/sh
# Runs a test program again as the unprivileged user "nobody" (group
# "nogroup"), when the tests run as root. Exits 77 (skipped) when they do
# not run as root, since that run was already unprivileged, or when neither
# setpriv nor runuser can switch the user.
program=$1
shift
if [ "$(id -u)" -ne 0 ]; then
  echo "not running as root: the tests already ran unprivileged"
  exit 77
fi
if command -v setpriv >/dev/null 2>&1; then
  exec setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$program" "$@"
fi
if command -v runuser >/dev/null 2>&1; then
  exec runuser -u nobody -- "$program" "$@"
fi
echo "neither setpriv nor runuser is available"
exit 77
