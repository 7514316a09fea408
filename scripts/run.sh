#!/usr/bin/env bash
# Installs what is needed, builds, and starts the program against the simulated rack.
# Extra arguments go to the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "${MORVELPLINT_BUILD_DIR:-$root/build}/app/morvelplint" /sim "$@"
