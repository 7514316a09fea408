#!/usr/bin/env bash
# Takes a picture of every page of the program running against the simulated rack, under a
# virtual X server, into docs/screenshots/<page>.png. Builds first (build/ or
# $MORVELPLINT_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVELPLINT_BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
out=$root/docs/screenshots
mkdir -p "$out"
# A folder of its own, so that no Morvelplint.ini of the user's changes what is shown.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The program speaks Dutch; the pictures show it as it is.
LANG=C.UTF-8 xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tools/morvelplint-shots" "$out"
