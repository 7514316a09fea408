#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks what lands there, then starts the
# installed program offscreen with /sim, and runs the probe from the installed bin folder
# (also after the whole tree is moved) with LANG=en.
# Usage: install-test.sh <build folder> <probe program>
set -euo pipefail
build=$1
probe=$2
work=$(mktemp -d /tmp/morvelplint-install-XXXXXX)
pid=
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    bin/morvelplint
    bin/morvelplint-rack
    share/morvelplint/locale/en/LC_MESSAGES/default.mo
    share/morvelplint/locale/nl/LC_MESSAGES/cport.mo
    share/applications/nl.morvelplint.Morvelplint.desktop
    share/metainfo/nl.morvelplint.Morvelplint.metainfo.xml
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

desktop-file-validate "$prefix/share/applications/nl.morvelplint.Morvelplint.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/nl.morvelplint.Morvelplint.metainfo.xml"

export QT_QPA_PLATFORM=offscreen
run=$work/run
mkdir "$run"
cd "$run"

# The installed program itself: starts with /sim and keeps running.
LANG=en "$prefix/bin/morvelplint" /sim 2>"$work/program.err" &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$work/program.err" >&2; fail "installed program ended"; }
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

probe_in() {
    local tree=$1
    cp "$probe" "$tree/bin/morvelplint-probe"
    local out
    out=$(LANG=en "$tree/bin/morvelplint-probe" 2>"$work/probe.err") ||
        { cat "$work/probe.err" >&2; echo "$out" >&2; fail "probe in $tree did not connect"; }
    echo "$out"
    grep -qx "connected: yes" <<<"$out" || fail "not connected"
    grep -qx "catalogues: $tree/share/morvelplint/locale" <<<"$out" ||
        fail "catalogues not from $tree"
    grep -qx "message: The parallel card cannot be used." <<<"$out" || fail "no English message"
}

probe_in "$prefix"
# Nothing in the tree may depend on where it was installed.
mv "$prefix" "$work/moved"
probe_in "$work/moved"

# Without a catalogue for the language the texts stay Dutch.
out=$(LANG=fr "$work/moved/bin/morvelplint-probe" 2>/dev/null)
grep -qx "message: De parallelle kaart kan niet worden gebruikt." <<<"$out" ||
    fail "LANG=fr: $out"
echo "install test passed"
