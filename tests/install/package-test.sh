#!/usr/bin/env bash
# Builds the Debian package from the build folder into a temporary folder and checks its
# control data and contents, what lintian says of it, and the hardening of its programs.
# Usage: package-test.sh <build folder> protected|plain checked|plain <architecture> <machine>
# (whether the build has a stack protector and checked libc calls; the sanitizer builds have
# neither, and a build that does not optimise has no checked calls; the Debian architecture
# the build is for, amd64 or arm64 in the cross build, and its machine as readelf names it)
set -euo pipefail
build=$1
stack=$2
libc_calls=$3
arch=$4
machine=$5
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
[ "$(basename "$deb")" = "morvelplint_$(dpkg-deb -f "$deb" Version)_$arch.deb" ] ||
    fail "file name $(basename "$deb"), not for $arch"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "architecture"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
grep -q "ZELM model-railway rack" <<<"$(dpkg-deb -f "$deb" Description)" || fail "description"

depends=$(dpkg-deb -f "$deb" Depends)
# One package name a line, without its version.
names=$(sed 's/([^)]*)//g; s/,/\n/g' <<<"$depends" | tr -d ' ')
for library in libc6 libstdc++6 libcap2 libqt6core6 libqt6gui6 libqt6widgets6 \
    libqt6printsupport6 qt6-qpa-plugins; do
    grep -Fqx "$library" <<<"$names" || fail "Depends lacks $library: $depends"
done
# dpkg-shlibdeps took every dependency from the libraries of the package's own architecture
# (multiarch, in a cross build): each is a package of that architecture installed on this machine.
while read -r name; do
    dpkg-query -W -f='${Status}' "$name:$arch" 2>/dev/null | grep -q 'install ok installed' ||
        fail "Depends names $name, which is no package of $arch here: $depends"
done <<<"$names"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/morvelplint ./usr/bin/morvelplint-rack ./usr/bin/morvelplint-check \
    ./usr/bin/morvelplint-web ./usr/share/man/man1/morvelplint-web.1.gz \
    ./usr/share/man/nl/man1/morvelplint-web.1.gz \
    ./usr/share/morvelplint/locale/en/LC_MESSAGES/default.mo \
    ./usr/share/morvelplint/default-rack.json \
    ./usr/share/applications/nl.morvelplint.Morvelplint.desktop \
    ./usr/share/metainfo/nl.morvelplint.Morvelplint.metainfo.xml \
    ./usr/share/morvelplint/wireshark/morvelplint.lua \
    ./usr/share/icons/hicolor/48x48/apps/morvelplint.png \
    ./usr/share/man/man1/morvelplint.1.gz ./usr/share/man/man1/morvelplint-rack.1.gz \
    ./usr/share/man/nl/man1/morvelplint.1.gz ./usr/share/man/nl/man1/morvelplint-rack.1.gz \
    ./usr/share/man/man1/morvelplint-check.1.gz ./usr/share/man/nl/man1/morvelplint-check.1.gz \
    ./usr/share/doc/morvelplint/copyright ./usr/share/doc/morvelplint/changelog.gz \
    ./lib/systemd/system/morvelplint-web.service; do
    grep -qx -- "$file" <<<"$contents" || fail "$file not in the package"
done

# No error and no warning; the informational tags are shown.
lintian --fail-on error,warning -EI --pedantic "$deb" 2>/dev/null || fail "lintian: see above"

root=$work/root
dpkg-deb -x "$deb" "$root"
version=$(dpkg-deb -f "$deb" Version)
doc=$root/usr/share/doc/morvelplint
[ "$(head -n 1 "$doc/copyright")" = \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "copyright is not machine-readable"
newest=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)
[ "$newest" = "$version" ] || fail "newest changelog entry $newest, package $version"
for page in morvelplint morvelplint-rack morvelplint-web; do
    grep -q "^\.SH NAME" <<<"$(zcat "$root/usr/share/man/man1/$page.1.gz")" ||
        fail "man page $page"
done

# morvelplint-web's systemd unit, where Debian 12's packages keep theirs: it starts the
# installed program for every network as a dynamic user in dialout, in its state folder, with
# the usual hardening and without what would shut the serial ports out; it is off until the
# administrator turns it on (no link under /etc, no maintainer script that enables or starts
# it), and systemd takes it.
unit=$root/lib/systemd/system/morvelplint-web.service
for line in "ExecStart=/usr/bin/morvelplint-web --listen 0.0.0.0:8314" DynamicUser=yes \
    SupplementaryGroups=dialout StateDirectory=morvelplint WorkingDirectory=/var/lib/morvelplint \
    StandardOutput=journal Restart=on-failure NoNewPrivileges=yes ProtectSystem=strict \
    PrivateTmp=yes WantedBy=multi-user.target; do
    grep -qxF -- "$line" "$unit" || fail "the unit lacks $line"
done
! grep -Eq '^(PrivateDevices=(yes|true|on|1)|ProtectClock=(yes|true|on|1)|DeviceAllow=|DevicePolicy=(closed|strict))' \
    "$unit" || fail "the unit shuts the serial ports out"
! grep -Eq '^\./etc/systemd/' <<<"$contents" || fail "the package turns the unit on"
control=$work/control
dpkg-deb -e "$deb" "$control"
for script in preinst postinst; do
    [ ! -e "$control/$script" ] || ! grep -Eq '(systemctl|deb-systemd-helper|deb-systemd-invoke).*(enable|start)' \
        "$control/$script" || fail "$script turns the unit on"
done
# systemd-analyze verify looks for the program and the manual page of Documentation= on this
# machine: here a copy of the unit names the program in the package's tree, and the manual
# pages are the package's. A key it does not know, or a value it cannot read, is only a
# warning to it, and fails here all the same.
mkdir "$work/verify"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$work/verify/morvelplint-web.service"
verified=$(cd "$work" && MANPATH=$root/usr/share/man \
    systemd-analyze verify "$work/verify/morvelplint-web.service" 2>&1) ||
    fail "systemd-analyze verify: $verified"
! grep -F morvelplint-web <<<"$verified" || fail "systemd-analyze verify warns, see above"

# The desktop entry: the window class the program's windows carry (WM_CLASS "morvelplint",
# "Morvelplint") and an action that starts the simulated rack.
desktop=$root/usr/share/applications/nl.morvelplint.Morvelplint.desktop
grep -qx "StartupWMClass=Morvelplint" "$desktop" || fail "StartupWMClass"
grep -qx "Actions=simulated-rack;" "$desktop" || fail "no action"
sed -n '/^\[Desktop Action simulated-rack\]$/,/^\[/p' "$desktop" |
    grep -qx "Exec=morvelplint /sim" || fail "the action does not start /sim"

metainfo=$root/usr/share/metainfo/nl.morvelplint.Morvelplint.metainfo.xml
released=$(grep -o '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
[ "$released" = "$version" ] || fail "metainfo release $released, package $version"

# Position-independent, relocations read-only and bound at start-up, a stack protector. The
# checked libc calls show where a call's size is only known at run time: morvelplint-rack's
# printf family; the program's own calls (read, poll, readlink) all have sizes the compiler
# checks, so it keeps the plain ones.
for program in morvelplint morvelplint-rack morvelplint-check morvelplint-web; do
    file=$root/usr/bin/$program
    grep -Eq "^ +Machine: +$machine\$" <<<"$(readelf -h "$file")" ||
        fail "$program is not for $machine: $(readelf -h "$file" | grep Machine)"
done
for program in morvelplint morvelplint-rack; do
    file=$root/usr/bin/$program
    dynamic=$(readelf -d "$file")
    grep -Eq "\(FLAGS\) +BIND_NOW" <<<"$dynamic" || fail "$program: no BIND_NOW"
    grep -Eq "\(FLAGS_1\) +Flags: NOW PIE" <<<"$dynamic" || fail "$program: not PIE/NOW"
    grep -q GNU_RELRO <<<"$(readelf -lW "$file")" || fail "$program: no RELRO"
    if [ "$stack" = protected ]; then
        grep -q " __stack_chk_fail@" <<<"$(readelf --dyn-syms -W "$file")" ||
            fail "$program: no stack protector"
    fi
done
if [ "$libc_calls" = checked ]; then
    grep -q " __fprintf_chk@" <<<"$(readelf --dyn-syms -W "$root/usr/bin/morvelplint-rack")" ||
        fail "morvelplint-rack: no checked libc calls"
fi
echo "package test passed"
