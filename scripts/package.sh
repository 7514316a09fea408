#!/usr/bin/env bash
# Builds the Debian package: installs what is needed, builds a release with the prefix /usr,
# and runs cpack -G DEB there. The package lands in that folder; its path is printed at the end.
# Usage: package.sh [--arch ARCH]
#   without --arch, or with this machine's architecture: a native build into build-package/
#   --arch arm64 on an x86-64 machine: a cross build (cmake/aarch64-linux-gnu.cmake) into
#   build-package-arm64/, whose package is morvelplint_<version>_arm64.deb with its Depends
#   computed by dpkg-shlibdeps from the arm64 libraries
# $MORVELPLINT_BUILD_DIR names another folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(dpkg --print-architecture)
arch=$native
while [ $# -gt 0 ]; do
    case $1 in
    --arch) [ $# -ge 2 ] || { echo "package.sh: --arch needs an architecture" >&2; exit 3; }
        arch=$2; shift 2 ;;
    --arch=*) arch=${1#--arch=}; shift ;;
    *) echo "Usage: package.sh [--arch ARCH]" >&2; exit 3 ;;
    esac
done

"$root/scripts/install-deps.sh"
cross=()
if [ "$arch" = "$native" ]; then
    build=${MORVELPLINT_BUILD_DIR:-$root/build-package}
else
    case "$arch/$native" in
    arm64/amd64) toolchain=$root/cmake/aarch64-linux-gnu.cmake ;;
    *) echo "package.sh: no cross build for $arch on $native" >&2; exit 3 ;;
    esac
    "$root/scripts/install-deps-arm64.sh"
    build=${MORVELPLINT_BUILD_DIR:-$root/build-package-$arch}
    cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
fi
MORVELPLINT_BUILD_DIR="$build" MORVELPLINT_BUILD_TYPE=Release "$root/scripts/build.sh" \
    -DCMAKE_INSTALL_PREFIX=/usr -DMORVELPLINT_TESTS=OFF -DMORVELPLINT_BENCH=OFF "${cross[@]}"
cd "$build"
cpack -G DEB
ls -1 "$build"/morvelplint_*_"$arch".deb
