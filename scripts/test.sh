#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "${MORVELPLINT_BUILD_DIR:-$root/build}"
ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
