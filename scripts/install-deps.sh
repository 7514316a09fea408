#!/usr/bin/env bash
# Installs everything the build, the tests and the program need on Debian 12.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev libserialport-dev
    gettext
    # lets the program give up its capabilities once the parallel card's ports are asked for
    libcap-dev
    nlohmann-json3-dev
    xvfb xauth x11-utils imagemagick
    dpkg-dev file desktop-file-utils appstream lintian
    # systemd-analyze checks morvelplint-web's unit in the package; curl asks the program
    # started as that unit starts it for its page
    systemd curl
    # reads the bus monitor's capture files back in the tests, with the program's dissector
    tshark
    # morvelplint-web's server (Boost.Beast, header-only), and the browser its tests drive
    libboost1.81-dev chromium
    # keeps both processors busy while scripts/stress-test.sh runs the suite; shows where a
    # window test that hangs waits
    stress-ng gdb
    # the QR codes of morvelplint-web's addresses, and the reader its tests check them with
    libqrencode-dev zbar-tools
    # the soak tests' page that never reads (Node sets no receive buffer)
    python3
    # morvelplint-web's name on the network, through avahi-daemon
    libavahi-client-dev
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Node.js and npm for the browser tests; a machine that has them (from Debian or elsewhere)
# keeps its own.
if ! command -v npm >/dev/null 2>&1; then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends nodejs npm
fi

# Playwright, pinned in tests/web/package-lock.json, without a browser of its own: the tests
# use Debian's chromium.
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -d "$root/tests/web/node_modules/@playwright/test" ] || [ ! -d "$root/tests/web/node_modules/@axe-core/playwright" ]; then
    (cd "$root/tests/web" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund >/dev/null)
fi
