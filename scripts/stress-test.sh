#!/usr/bin/env bash
# Runs every test once, as scripts/test.sh does (the long runs left out as there), while stress-ng keeps both processors busy:
# a test that holds only because the machine is quiet fails here. Tests labelled realtime
# (they measure the machine's own time, and say why) are left out, and counted. Builds first
# unless MORVELPLINT_NO_BUILD=1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVELPLINT_BUILD_DIR:-$root/build}
if [ "${MORVELPLINT_NO_BUILD:-0}" != 1 ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh"
fi
export QT_QPA_PLATFORM=offscreen
cd "$build"
left_out=$(ctest -N -L realtime | sed -n 's/^Total Tests: //p')
echo "left out under load (label realtime): ${left_out:-0}"
stress-ng --cpu "$(nproc)" --timeout 1800s --quiet &
load=$!
trap 'kill "$load" 2>/dev/null; wait "$load" 2>/dev/null || true' EXIT
start=$SECONDS
ctest --output-on-failure --timeout 300 -j"$(nproc)" -LE 'soak|a11y|realtime' "$@"
echo "every test under load: $((SECONDS - start)) s"
