#!/usr/bin/env bash
# Installs what the arm64 (aarch64) cross build and its tests under emulation need on an
# x86-64 Debian 12, beside what install-deps.sh installs: Debian's cross compiler, qemu-user,
# and the arm64 development packages of the libraries through multiarch
# (dpkg --add-architecture arm64). Safe to run again.
# Usage: install-deps-arm64.sh [--qt-free]   (--qt-free: only what the Qt-free part needs)
#
# Multiarch works for all of it on Debian 12: the arm64 Qt 6 -dev packages (qt6-base-dev:arm64
# and the libraries it pulls in) are Multi-Arch: same and install beside the amd64 ones; the
# tools that run at build time (moc, uic, rcc in qt6-base-dev-tools) are Multi-Arch: foreign,
# so the amd64 ones serve both builds, and Debian's arm64 Qt CMake files name them by their
# path under /usr/lib/qt6/libexec. Multi-Arch: same packages must have one version for both
# architectures, so apt may upgrade an amd64 library to the version of its arm64 twin; it
# removes nothing, and the amd64 build keeps working.
set -euo pipefail

qt=1
[ "${1:-}" = --qt-free ] && qt=0

packages=(
    crossbuild-essential-arm64 qemu-user
    # the arm64 programs' C++ runtime under qemu-user: no -dev package above pulls it in
    libstdc++6:arm64
    libgtest-dev:arm64 libgmock-dev:arm64 libcap-dev:arm64 nlohmann-json3-dev
)
if [ "$qt" -eq 1 ]; then
    packages+=(
        qt6-base-dev:arm64 qt6-base-dev-tools libgl-dev:arm64
        # the offscreen and xcb platforms the tests and the installed program use
        qt6-qpa-plugins:arm64
        libbenchmark-dev:arm64 libserialport-dev:arm64
    )
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
apt_get=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900)
updated=0
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    "${sudo_cmd[@]}" dpkg --add-architecture arm64
    "${apt_get[@]}" update -q
    updated=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    [ "$updated" -eq 1 ] || "${apt_get[@]}" update -q
    "${apt_get[@]}" install -y -q --no-install-recommends "${missing[@]}"
fi
