#!/usr/bin/env bash
# The Windows installer under wine, in a new prefix of its own: the silent install (its files,
# the Start menu's entries, the uninstaller's registry entry), the installed morvelplint-web.exe
# started as the Start menu starts it (morvelplint-start.exe, in the user's
# Documents\Morvelplint) with a Morvelplint.ini that names COM9, a link to the pseudo-terminal
# of morvelplint-rack, driven by Playwright over the loopback; the same with --sim on the
# simulated parallel card; and the silent uninstall, which leaves the user's Morvelplint.ini.
#
# tests/windows/setup-test.sh SETUP.EXE MORVELPLINT-RACK
# Nothing opens a real serial port: the prefix's links to /dev/ttyS* are removed first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
setup=$(realpath "$1")
rack=$(realpath "$2")
start=$SECONDS
phase() { echo "== $1 ($((SECONDS - start)) s)"; }

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A home of its own: wine links the user's Documents to the home's when there is one.
export HOME=$work/home
export LANG=C LC_ALL=C
mkdir -p "$HOME"
rack_pid=
web_pids=()
cleanup() {
    for pid in "${web_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ -n "$rack_pid" ] && kill "$rack_pid" 2>/dev/null
    wineserver -k 2>/dev/null || true
    [ -n "${MORVELPLINT_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

phase "a new wine prefix"
wine wineboot -i >/dev/null 2>&1
wineserver -w

phase "COM9: morvelplint-rack on a pseudo-terminal"
"$rack" --log "$work/rack.log" --link "$WINEPREFIX/dosdevices/com9" >"$work/rack.out" \
    2>"$work/rack.err" </dev/null &
rack_pid=$!
for _ in $(seq 100); do
    [ -L "$WINEPREFIX/dosdevices/com9" ] && break
    sleep 0.05
done
[ -L "$WINEPREFIX/dosdevices/com9" ] || fail "morvelplint-rack did not start: $(cat "$work/rack.err")"
# One session from here on: the links to the machine's serial ports removed now stay away.
wineserver -p >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1
for link in "$WINEPREFIX"/dosdevices/com*; do
    [ "$link" = "$WINEPREFIX/dosdevices/com9" ] || rm -f "$link"
done
# Listed as Windows lists a USB adapter's port (wine lists only the /dev/ttyS* it maps).
wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\VCP0' /t REG_SZ /d COM9 /f \
    >/dev/null 2>&1
drive=$WINEPREFIX/drive_c
installed="$drive/Program Files/Morvelplint"
user=$(wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
documents="$drive/users/$user/Documents/Morvelplint"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Morvelplint"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvelplint'

phase "the silent install"
code=0
wine "$setup" /S || code=$?
[ "$code" -eq 0 ] || fail "setup.exe /S exited with $code"
for file in morvelplint-web.exe morvelplint-check.exe morvelplint-start.exe uninstall.exe \
    default-rack.json locale/en/LC_MESSAGES/default.mo doc/README.html \
    doc/morvelplint-web.html doc/nl/morvelplint-web.html; do
    [ -f "$installed/$file" ] || fail "not installed: $file"
done
for entry in "Morvelplint.lnk" "Morvelplint (gesimuleerd rek).lnk"; do
    [ -f "$menu/$entry" ] || fail "no Start menu entry $entry in $(ls "$menu" 2>&1)"
done
wine reg query "$key" /v UninstallString /reg:64 >"$work/reg.txt" 2>&1 ||
    fail "no uninstaller entry: $(cat "$work/reg.txt")"
grep -qF 'uninstall.exe' "$work/reg.txt" || fail "the uninstaller entry: $(cat "$work/reg.txt")"
echo "ok: installed into Program Files\\Morvelplint, with its Start menu entries and its uninstaller entry"

# The program as the Start menu's entry starts it, on the loopback on a port of its own; the
# first http:// address it prints is the one to open.
start_web() { # start_web NAME ARGS...
    local name=$1
    shift
    wine "$installed/morvelplint-start.exe" "$@" --listen 127.0.0.1:0 \
        >"$work/$name.out" 2>"$work/$name.err" </dev/null &
    web_pids+=($!)
    for _ in $(seq 300); do
        url=$(grep -o 'http://[^ ]*' "$work/$name.out" | head -n 1 | tr -d '\r' || true)
        [ -n "$url" ] && return 0
        sleep 0.1
    done
    fail "morvelplint-web.exe $* printed no address: $(cat "$work/$name.out" "$work/$name.err")"
}

# The user's settings, where the Start menu's entries look for them.
mkdir -p "$documents"
printf '[ZELM]\r\nMethode= Serieel\r\nPoort= COM9\r\nTijd= 100\r\n' >"$documents/Morvelplint.ini"
cp "$documents/Morvelplint.ini" "$work/ini.before"
start_web serial
serial_url=$url
start_web sim --sim
sim_url=$url
echo "ok: the installed program serves $serial_url (COM9) and $sim_url (--sim)"

phase "the pages in a browser"
(cd "$root/tests/web" && MORVELPLINT_WINE_URL=$serial_url MORVELPLINT_WINE_SIM_URL=$sim_url \
    MORVELPLINT_WINE_RACK_LOG=$work/rack.log MORVELPLINT_WEB_RESULTS=$work/results \
    npx --no-install playwright test --config wine.config.js ${MORVELPLINT_WINE_GREP:+-g "$MORVELPLINT_WINE_GREP"}) ||
    fail "the pages under wine; the programs said: $(cat "$work"/serial.* "$work"/sim.*)"
[ "$(head -n 1 "$work/rack.log")" = "0x02" ] || fail "the option byte: $(head -n 1 "$work/rack.log")"
# The programs end with the session (morvelplint-web.exe is a process of its own beside the
# starter's).
wineserver -k 2>/dev/null || true
for pid in "${web_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
web_pids=()
kill "$rack_pid"
wait "$rack_pid" 2>/dev/null || true
rack_pid=

phase "the silent uninstall"
wine "$installed/uninstall.exe" /S
# The uninstaller hands over to a copy of itself and returns at once: wait for that copy.
wineserver -w
if [ -d "$installed" ]; then
    fail "left behind: $(find "$installed" | head)"
fi
[ ! -d "$menu" ] || fail "the Start menu's folder is still there"
if wine reg query "$key" /reg:64 >/dev/null 2>&1; then
    fail "the uninstaller's registry entry is still there"
fi
cmp -s "$documents/Morvelplint.ini" "$work/ini.before" || fail "the user's Morvelplint.ini changed or went"
echo "ok: uninstalled; the user's Morvelplint.ini stays"
echo "== passed: $(stat -c %s "$setup") bytes, all $((SECONDS - start)) s"
