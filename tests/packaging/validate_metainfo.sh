#!/bin/sh
# Checks the AppStream metainfo with appstreamcli, without network access.
# Errors fail the check; warnings and informational notes are printed only.
# Usage: validate_metainfo.sh METAINFO_FILE
set -u
skip=77

command -v appstreamcli >/dev/null 2>&1 || { echo "appstreamcli is not installed"; exit $skip; }

appstreamcli validate --no-net --pedantic "$1"
