#!/usr/bin/env bash
# dpkg-shlibdeps, run by CPack on every program and module of the package,
# less the Dolphin thumbnail plugin: the libraries it links (KIO, KDE's
# plugin loader, Qt 5) do not become dependencies of the whole package. Only
# kio-extras's thumbnail worker loads the plugin, and kio-extras depends on
# every one of them itself; the package says it enhances kio-extras instead.
set -euo pipefail
arguments=()
for argument in "$@"; do
  [[ $argument == */kf5/thumbcreator/* ]] || arguments+=("$argument")
done
exec dpkg-shlibdeps "${arguments[@]}"
