#!/usr/bin/env bash
# Installs the Debian packages named that are not installed yet (with sudo when not run as
# root), waiting for another apt that holds the lock. Used by the scripts that need more than
# scripts/install-deps.sh installs.
set -euo pipefail
missing=()
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ "${#missing[@]}" -gt 0 ] || exit 0
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 update -q
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends \
    "${missing[@]}"
