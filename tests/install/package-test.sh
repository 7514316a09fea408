#!/usr/bin/env bash
# Builds the Debian package from the build folder into a temporary folder and checks its
# control data and contents.
# Usage: package-test.sh <build folder>
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/morvelplint-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
shopt -s nullglob
debs=("$work"/morvelplint_*.deb)
[ "${#debs[@]}" -eq 1 ] || fail "expected one package, found: ${debs[*]:-none}"
deb=${debs[0]}
dpkg-deb -I "$deb"

[ "$(dpkg-deb -f "$deb" Package)" = morvelplint ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
dpkg-deb -f "$deb" Description | grep -q "ZELM model-railway rack" || fail "description"

depends=$(dpkg-deb -f "$deb" Depends)
# One package name a line, without its version.
names=$(sed 's/([^)]*)//g; s/,/\n/g' <<<"$depends" | tr -d ' ')
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 \
    qt6-qpa-plugins; do
    grep -Fqx "$library" <<<"$names" || fail "Depends lacks $library: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/morvelplint ./usr/bin/morvelplint-rack \
    ./usr/share/morvelplint/locale/en/LC_MESSAGES/default.mo \
    ./usr/share/applications/nl.morvelplint.Morvelplint.desktop \
    ./usr/share/metainfo/nl.morvelplint.Morvelplint.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/morvelplint.png; do
    grep -qx -- "$file" <<<"$contents" || fail "$file not in the package"
done
echo "package test passed"
