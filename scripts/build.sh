#!/usr/bin/env bash
# Installs what is missing, then configures and builds the project in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# Configured for /usr, where the Debian package puts everything, so that the
# package can be made and checked from this tree.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j"$(nproc)" "$@"
