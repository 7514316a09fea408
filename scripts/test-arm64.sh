#!/usr/bin/env bash
# The arm64 (aarch64, a Raspberry Pi with a 64-bit OS) build and every test under emulation,
# on an x86-64 Debian 12: installs what it needs (install-deps.sh, install-deps-arm64.sh),
# builds the whole project for arm64 into build-arm64/ (or $MORVELPLINT_BUILD_DIR) with the
# toolchain file cmake/aarch64-linux-gnu.cmake, and runs every test under qemu-user, the
# window tests offscreen as on x86-64. Extra arguments go to ctest (-L unit, -R ...).
#
# ctest runs each test program through qemu-aarch64 (CMAKE_CROSSCOMPILING_EMULATOR), and so
# does the build where it runs what it made (the tests' discovery, the icon); the tests that
# start a program of the build start it through the emulator too, so no binfmt registration
# is needed. A test that needs what emulation cannot give skips with its reason; the closing
# note names each one, with the suite's result and its time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVELPLINT_BUILD_DIR:-$root/build-arm64}

"$root/scripts/install-deps.sh"
"$root/scripts/install-deps-arm64.sh"

start=$SECONDS
MORVELPLINT_BUILD_DIR="$build" "$root/scripts/build.sh" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake"
build_seconds=$((SECONDS - start))
program=$(file -b "$build/app/morvelplint")
[[ $program == *"ARM aarch64"* ]] || { echo "not an arm64 program: $program" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen
cd "$build"
start=$SECONDS
status=0
# pipefail: the pipe's status is ctest's.
ctest --output-on-failure --timeout 600 -j"$(nproc)" "$@" 2>&1 | tee "$build/ctest-arm64.log" ||
    status=$?
test_seconds=$((SECONDS - start))

# The closing note. A skipped test's reason is the line after gtest's "Skipped" (GTEST_SKIP)
# or a script test's line "SKIP: ...", in its output in ctest's log.
echo
echo "== arm64 under qemu-user: closing note"
echo "${build#"$root"/}/app/morvelplint: $program"
echo "suite: $(grep -E '^[0-9]+% tests passed' "$build/ctest-arm64.log" || echo 'no result')"
echo "time: build $build_seconds s, tests $test_seconds s (ctest under qemu-aarch64, -j$(nproc))"
awk '
    /^[0-9]+\/[0-9]+ Testing: / { name = $3; next }
    /: Skipped$/ { getline reason; skipped[name] = reason; next }
    /^SKIP: / { skipped[name] = substr($0, 7); next }
    END { for (test in skipped) print test "\t" skipped[test] }
' "$build/Testing/Temporary/LastTest.log" | sort >"$build/skipped-arm64.txt"
if [ -s "$build/skipped-arm64.txt" ]; then
    echo "skipped under emulation:"
    while IFS=$'\t' read -r test reason; do
        echo "  $test: $reason"
    done <"$build/skipped-arm64.txt"
else
    echo "skipped under emulation: none"
fi
exit "$status"
