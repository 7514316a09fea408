# The Debian package (cpack -G DEB in the build folder; scripts/package.sh does it all).
set(CPACK_PACKAGE_NAME "morvelplint")
set(CPACK_PACKAGE_VENDOR "Morvelplint")
set(CPACK_PACKAGE_CONTACT "Morvelplint maintainers <maintainers@morvelplint.nl>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "test tool for the function cards of a ZELM model-railway rack")
set(CPACK_PACKAGE_DESCRIPTION
"Morvelplint drives the function cards of a ZELM model-railway rack page by
page: bus words by hand, a selection-card sweep, a locomotive shuttled across
block cards, square waves on latch and IO pins, while lamps show what the rack
reports. The PC reaches the rack through the parallel interface card (x86 I/O
ports) or the serial interface card (a serial port). A simulated rack
(morvelplint /sim, and morvelplint-rack on a pseudo-terminal) stands in for
the hardware.")
set(CPACK_PACKAGE_VERSION "${MORVELPLINT_PACKAGE_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps finds the libraries the programs link (the Qt 6 runtime, libstdc++, libc);
# the platform plugins Qt loads at run time are not linked, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
# A cross build (cmake/aarch64-linux-gnu.cmake) makes the package of the machine it builds
# for: its Architecture is Debian's name for the compiler's GNU triplet (aarch64-linux-gnu:
# arm64), and dpkg-shlibdeps, which cpack runs, looks the programs' libraries up among that
# architecture's (multiarch) packages when DEB_HOST_ARCH names it; cpack sets it from the
# project's CPack file below, so that a plain `cpack -G DEB` in the build folder does it.
if(CMAKE_CROSSCOMPILING)
    if(NOT CMAKE_LIBRARY_ARCHITECTURE)
        message(FATAL_ERROR "A cross build needs CMAKE_LIBRARY_ARCHITECTURE (the GNU triplet) "
            "for its package; see cmake/aarch64-linux-gnu.cmake")
    endif()
    execute_process(
        COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
        OUTPUT_VARIABLE MORVELPLINT_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${MORVELPLINT_DEB_ARCH}")
    set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/CPackCrossArchitecture.cmake")
    file(WRITE "${CPACK_PROJECT_CONFIG_FILE}"
        "set(ENV{DEB_HOST_ARCH} \"${MORVELPLINT_DEB_ARCH}\")\n")
endif()
include(CPack)
