#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "${MORVELPLINT_BUILD_DIR:-$root/build}"
# Every test once, but the long runs, which CI runs on its own: the web server's soaks (label
# soak) and the accessibility check of every tab in four states at two sizes (label a11y).
# One at a time on each processor unless MORVELPLINT_TEST_JOBS says how many.
ctest --output-on-failure --timeout 300 -j"${MORVELPLINT_TEST_JOBS:-$(nproc)}" -LE 'soak|a11y' "$@"
