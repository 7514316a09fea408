#!/usr/bin/env bash
# Builds the Debian package: installs what is needed, builds a release into build-package/
# (or $MORVELPLINT_BUILD_DIR) with the prefix /usr, and runs cpack -G DEB there. The
# package lands in that folder; its path is printed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVELPLINT_BUILD_DIR:-$root/build-package}
"$root/scripts/install-deps.sh"
MORVELPLINT_BUILD_DIR="$build" MORVELPLINT_BUILD_TYPE=Release "$root/scripts/build.sh" \
    -DCMAKE_INSTALL_PREFIX=/usr -DMORVELPLINT_TESTS=OFF -DMORVELPLINT_BENCH=OFF
cd "$build"
cpack -G DEB
ls -1 "$build"/morvelplint_*.deb
