#!/usr/bin/env bash
# Takes a picture of every page of the program running against the simulated rack, under a
# virtual X server, into docs/screenshots/<page>.png, and of the page in a browser at 360x740
# and at 1280x900 (web-phone-*.png, web-desktop-*.png). Builds first (build/ or
# $MORVELPLINT_BUILD_DIR). With --web only the browser's pictures, from morvelplint-web and
# morvelplint-rack as built (a build without Qt will do).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVELPLINT_BUILD_DIR:-$root/build}
web_only=false
[ "${1:-}" = "--web" ] && web_only=true
out=$root/docs/screenshots
mkdir -p "$out"
# A folder of its own, so that no Morvelplint.ini of the user's changes what is shown.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if $web_only; then
    cmake --build "$build" --target morvelplint-web morvelplint-rack
else
    "$root/scripts/build.sh"
    cd "$work"
    # The program speaks Dutch; the pictures show it as it is.
    LANG=C.UTF-8 xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tools/morvelplint-shots" "$out"
fi
# The page in a browser, at a phone's size and a desktop's, as the browser tests show it.
cd "$root/tests/web"
MORVELPLINT_SHOTS="$out" MORVELPLINT_WEB="$build/app/morvelplint-web" \
    MORVELPLINT_RACK="$build/app/morvelplint-rack" MORVELPLINT_WEB_RESULTS="$work/results" \
    npx --no-install playwright test phone.test.js tools.test.js
