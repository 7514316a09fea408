#!/usr/bin/env bash
# The Windows build of the Qt-free core, proven under wine: installs mingw-w64 and wine,
# cross-builds the core library, its Windows tests and morvelplint-check.exe into
# build-windows/cross, and runs them in a wine prefix of their own (build-windows/wineprefix)
# against morvelplint-rack (built natively, or the one MORVELPLINT_RACK names) on a
# pseudo-terminal that the prefix maps as COM9. Nothing opens a real serial port: the prefix's
# links to /dev/ttyS* are removed before any test runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVELPLINT_WINDOWS_DIR:-$root/build-windows}
start=$SECONDS
phase() { echo "== $1 ($((SECONDS - start)) s)"; }

phase "packages"
"$root/scripts/install-deps.sh"
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64)
"$root/scripts/install-packages.sh" "${packages[@]}"
installed=$SECONDS

phase "the simulated card's side: morvelplint-rack"
rack=${MORVELPLINT_RACK:-}
if [ -z "$rack" ] || [ ! -x "$rack" ]; then
    cmake -S "$root" -B "$out/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DMORVELPLINT_WITH_QT=OFF -DMORVELPLINT_TESTS=OFF -DMORVELPLINT_BENCH=OFF >/dev/null
    cmake --build "$out/native" --target morvelplint-rack --parallel 2
    rack=$out/native/app/morvelplint-rack
fi

phase "cross-build with mingw-w64"
cmake -S "$root" -B "$out/cross" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/Toolchain-mingw-w64.cmake" \
    -DMORVELPLINT_WITH_QT=OFF -DMORVELPLINT_BENCH=OFF -DMORVELPLINT_TESTS=ON -DMORVELPLINT_WERROR=ON \
    >/dev/null
cmake --build "$out/cross" --parallel 2
check=$out/cross/app/morvelplint-check.exe
tests=$out/cross/tests/windows
built=$SECONDS

phase "wine prefix"
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Untranslated texts, whatever the machine's language: the checks below read them.
export LANG=C LC_ALL=C
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1
    wineserver -w
fi
work=$(mktemp -d)
rack_pid=
cleanup() {
    [ -n "$rack_pid" ] && kill -CONT "$rack_pid" 2>/dev/null && kill "$rack_pid" 2>/dev/null
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# One session for the whole run: wine maps every /dev/ttyS* as a COM port when a session
# starts, and the links removed now stay away until it ends.
# A server left over from a run that was stopped goes first.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p 2>>"$out/wineserver.log" >/dev/null
wine cmd /c exit >/dev/null 2>&1
rm -f "$WINEPREFIX"/dosdevices/com*

# morvelplint-rack on a new pseudo-terminal, mapped as COM9.
start_rack() {
    "$rack" "$@" --link "$WINEPREFIX/dosdevices/com9" >"$work/rack.out" 2>"$work/rack.err" </dev/null &
    rack_pid=$!
    for _ in $(seq 100); do
        [ -L "$WINEPREFIX/dosdevices/com9" ] && return 0
        sleep 0.05
    done
    echo "morvelplint-rack did not start:" >&2
    cat "$work/rack.err" >&2
    return 1
}
stop_rack() {
    kill -CONT "$rack_pid" 2>/dev/null || true
    kill "$rack_pid" 2>/dev/null || true
    wait "$rack_pid" 2>/dev/null || true
    rack_pid=
}
# Runs morvelplint-check.exe; its exit code goes to $code, its output to $work/check.*.
run_check() {
    code=0
    (cd "$work" && wine "$check" "$@") >"$work/check.out" 2>"$work/check.err" || code=$?
}
expect() { # expect WHAT CODE [TEXT FILE]
    local what=$1 wanted=$2
    if [ "$code" -ne "$wanted" ] || { [ $# -eq 4 ] && ! grep -qF -- "$3" "$4"; }; then
        echo "FAILED: $what: exit code $code (wanted $wanted)${3:+, wanted \"$3\" in $(basename "${4:-}")}" >&2
        cat "$work/check.out" "$work/check.err" >&2
        exit 1
    fi
    echo "ok: $what (exit code $code)"
}

phase "the Windows tests (no COM port)"
wine "$tests/windows_tests.exe" --gtest_brief=1

phase "the serial path over COM9"
start_rack
MORVELPLINT_TEST_PORT=COM9 wine "$tests/windows_serial_tests.exe" --gtest_brief=1
run_check --port COM9 io@9
expect "morvelplint-check.exe --port COM9 io@9, a healthy IO card" 0
run_check --port COM9 --baud 19200 io@9
expect "the same at 19200 baud" 0
stop_rack

start_rack --rack "$root/tests/windows/stuck-input-rack.json"
# walk1, walk0 and checker in full, so that every input is driven to both levels.
run_check --port COM9 --cycles 34 --report stuck.json io@9
expect "an IO card with a stuck input" 1 '"read_0_expected_1": 17, "read_1_expected_0": 0, "diagnosis": "stuck-0"' "$work/stuck.json"
stop_rack

# A card that is silent: the rack's process stopped, its terminal still open.
start_rack
kill -STOP "$rack_pid"
run_check --port COM9 io@9
expect "a silent card" 2 "de seriele kaart gaf geen antwoord op de optiebyte" "$work/check.err"
stop_rack

# A card that hangs up in the middle of a run: the rack's process ends, its terminal closes.
start_rack
(cd "$work" && wine "$check" --port COM9 --duration 30 --quiet io@9 >"$work/check.out" 2>"$work/check.err") &
check_pid=$!
sleep 4
kill -KILL "$rack_pid"
wait "$rack_pid" 2>/dev/null || true
rack_pid=
code=0
wait "$check_pid" || code=$?
# Wine reports the closed terminal as ERROR_NOT_READY: on the next read, or on the next write
# when the set-up was still under way.
expect "a card that hangs up" 2 "function failed (win error code: 21)" "$work/check.err"
grep -qF "De verbinding met de seriële poort is verbroken." "$work/check.err"

echo "== passed: install $((installed - start)) s, build $((built - installed)) s, wine $((SECONDS - built)) s, all $((SECONDS - start)) s"
