#!/usr/bin/env bash
# Configures and builds into build/ (or $MORVELPLINT_BUILD_DIR) with the given extra CMake
# arguments, warnings as errors. Used by run.sh, test.sh and CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVELPLINT_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${MORVELPLINT_BUILD_TYPE:-RelWithDebInfo}" \
    -DMORVELPLINT_WERROR=ON "$@" >/dev/null
cmake --build "$build" --parallel
