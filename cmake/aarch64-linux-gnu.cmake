# CMake toolchain file: the arm64 (aarch64) build on an x86-64 Debian 12 with multiarch, as
# scripts/test-arm64.sh and scripts/package.sh --arch arm64 use it:
#
#     cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# Debian's cross compiler (crossbuild-essential-arm64), the arm64 libraries and their CMake and
# pkg-config files from Debian's arm64 -dev packages installed beside the amd64 ones (dpkg
# --add-architecture arm64), under /usr/lib/aarch64-linux-gnu. The Qt tools the build runs
# (moc, uic, rcc) are the host's: Debian's arm64 Qt 6 CMake files name them under
# /usr/lib/qt6/libexec, which the amd64 qt6-base-dev-tools fills (it is Multi-Arch: foreign).
# The programs the build makes run under qemu-user: ctest, the tests' discovery at build time
# and the build's own steps that run a program it made (the icon) go through the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(MORVELPLINT_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${MORVELPLINT_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MORVELPLINT_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${MORVELPLINT_TRIPLET})

# pkg-config for the target: only the arm64 and the architecture-independent .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${MORVELPLINT_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# qemu-user runs the arm64 programs; with multiarch their loader and libraries sit where the
# program asks for them (/lib/ld-linux-aarch64.so.1, /usr/lib/aarch64-linux-gnu), so no -L is
# needed.
find_program(MORVELPLINT_QEMU qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MORVELPLINT_QEMU})

# dpkg-shlibdeps (CPACK_DEBIAN_PACKAGE_SHLIBDEPS) and the package's Architecture field.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
