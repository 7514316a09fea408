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
# The page in a browser, at a phone's size and a desktop's, as the browser tests show it.
cd "$root/tests/web"
MORVELPLINT_SHOTS="$out" MORVELPLINT_WEB="$build/app/morvelplint-web" \
    MORVELPLINT_RACK="$build/app/morvelplint-rack" MORVELPLINT_WEB_RESULTS="$work/results" \
    npx --no-install playwright test phone.test.js tools.test.js
