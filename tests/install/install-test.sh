#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks what lands there, then starts the
# installed program with /sim on a virtual X server, and runs the probe and morvelplint-rack
# from the installed bin folder (also after the whole tree is moved) with LANG=en.
# Usage: install-test.sh <build folder> <probe program> [<emulator>]
# (the emulator that runs the programs of a cross build, e.g. qemu-aarch64; none natively)
set -euo pipefail
build=$1
probe=$2
emulator=(${3:+"$3"})
work=$(mktemp -d /tmp/morvelplint-install-XXXXXX)
pid=
xvfb=
cleanup() {
    for process in $pid $xvfb; do
        kill "$process" 2>/dev/null || true
        wait "$process" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    bin/morvelplint
    bin/morvelplint-rack
    bin/morvelplint-check
    bin/morvelplint-web
    share/morvelplint/locale/en/LC_MESSAGES/default.mo
    share/morvelplint/locale/nl/LC_MESSAGES/cport.mo
    share/morvelplint/default-rack.json
    share/applications/nl.morvelplint.Morvelplint.desktop
    share/metainfo/nl.morvelplint.Morvelplint.metainfo.xml
    share/morvelplint/wireshark/morvelplint.lua
)
for size in 16 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/morvelplint.png")
done
for file in "${expected[@]}"; do
    [ -s "$prefix/$file" ] || fail "$file not installed"
done
for size in 16 32 48 64 128 256; do
    geometry=$(file -b "$prefix/share/icons/hicolor/${size}x${size}/apps/morvelplint.png")
    [[ $geometry == "PNG image data, $size x $size,"* ]] || fail "icon $size: $geometry"
done
[ -x "$prefix/bin/morvelplint" ] && [ -x "$prefix/bin/morvelplint-rack" ] ||
    fail "programs not executable"
# morvelplint-web's systemd unit below any prefix but /usr, naming the program there.
grep -qx "ExecStart=$prefix/bin/morvelplint-web --listen 0.0.0.0:8314" \
    "$prefix/lib/systemd/system/morvelplint-web.service" || fail "systemd unit"

desktop-file-validate "$prefix/share/applications/nl.morvelplint.Morvelplint.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/nl.morvelplint.Morvelplint.metainfo.xml"

run=$work/run
mkdir "$run"
cd "$run"

# The installed program itself on a virtual X server: starts with /sim and keeps running, and
# its main window carries the program's icon and the window class that the desktop entry
# names as StartupWMClass.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "no virtual X server"
DISPLAY=:$(cat "$work/display")
export DISPLAY
# Under AddressSanitizer: libxkbcommon-x11 copies the keymap's names with strndup and their
# exact length, names that end where X's reply ends; strict string checks would look for a
# terminator beyond it, so they are off for this run.
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0 QT_QPA_PLATFORM=xcb LANG=en \
    "${emulator[@]}" "$prefix/bin/morvelplint" /sim 2>"$work/program.err" &
pid=$!
# The main window among the program's windows: the splash window has the same title.
main_window() {
    local tree id
    tree=$(xwininfo -root -tree)
    for id in $(awk '/"Morvelplint": \("/ {print $1}' <<<"$tree"); do
        if [ "$(xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null)" = \
            "_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL" ]; then
            echo "$id"
            return
        fi
    done
}
window=
for _ in $(seq 200); do
    window=$(main_window)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$window" ] || { cat "$work/program.err" >&2; fail "no main window"; }
startup_class=$(sed -n 's/^StartupWMClass=//p' \
    "$prefix/share/applications/nl.morvelplint.Morvelplint.desktop")
window_class=$(xprop -id "$window" WM_CLASS)
[ "$window_class" = "WM_CLASS(STRING) = \"morvelplint\", \"$startup_class\"" ] ||
    fail "$window_class; the desktop entry's StartupWMClass is \"$startup_class\""
grep -q "Icon (48 x 48)" <<<"$(xprop -id "$window" _NET_WM_ICON)" || fail "no window icon"
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$work/program.err" >&2; fail "installed program ended"; }
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
kill "$xvfb"
wait "$xvfb" 2>/dev/null || true
xvfb=
unset DISPLAY

export QT_QPA_PLATFORM=offscreen

probe_in() {
    local tree=$1
    cp "$probe" "$tree/bin/morvelplint-probe"
    local out
    out=$(LANG=en "${emulator[@]}" "$tree/bin/morvelplint-probe" 2>"$work/probe.err") ||
        { cat "$work/probe.err" >&2; echo "$out" >&2; fail "probe in $tree did not connect"; }
    echo "$out"
    grep -qx "connected: yes" <<<"$out" || fail "not connected"
    grep -qx "catalogues: $tree/share/morvelplint/locale" <<<"$out" ||
        fail "catalogues not from $tree"
    grep -qx "message: The parallel card cannot be used." <<<"$out" || fail "no English message"
    local help
    help=$(LANG=en "${emulator[@]}" "$tree/bin/morvelplint-rack" --help)
    [ "$(head -n 1 <<<"$help")" = "Usage: morvelplint-rack [--rack FILE] [--link PATH] [--log FILE]" ] ||
        fail "morvelplint-rack --help in $tree: $help"
    # The rack served is the installed default rack, found from the program's own folder. The
    # files go first: a line left from the tree before would send the stop before this run
    # has even started.
    rm -f "$work/rack.out" "$work/rack.err"
    LANG=en "${emulator[@]}" "$tree/bin/morvelplint-rack" >"$work/rack.out" 2>"$work/rack.err" &
    local rack=$!
    for _ in $(seq 100); do [ -s "$work/rack.err" ] && break; sleep 0.05; done
    kill "$rack"
    wait "$rack" || true
    local from="Simulated rack from $tree/share/morvelplint/default-rack.json"
    grep -qx "$from on $(cat "$work/rack.out"). Stop with Ctrl+C." "$work/rack.err" ||
        fail "morvelplint-rack in $tree: $(cat "$work/rack.err")"
}

probe_in "$prefix"
# Nothing in the tree may depend on where it was installed.
mv "$prefix" "$work/moved"
probe_in "$work/moved"

# Without a catalogue for the language the texts stay Dutch.
out=$(LANG=fr "${emulator[@]}" "$work/moved/bin/morvelplint-probe" 2>/dev/null)
grep -qx "message: De parallelle kaart kan niet worden gebruikt." <<<"$out" ||
    fail "LANG=fr: $out"
help=$(LANG=fr "${emulator[@]}" "$work/moved/bin/morvelplint-rack" --help)
[ "$(head -n 1 <<<"$help")" = "Gebruik: morvelplint-rack [--rack BESTAND] [--link PAD] [--log BESTAND]" ] ||
    fail "LANG=fr morvelplint-rack --help: $help"
echo "install test passed"
