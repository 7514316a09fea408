#!/usr/bin/env bash
# The Windows installer: one setup.exe with morvelplint-web.exe, morvelplint-check.exe, their
# message catalogues, the default rack and the documentation as HTML. Installs what it needs
# from Debian (mingw-w64, NSIS, mandoc for the manual pages, cmark-gfm for the README),
# cross-builds the two programs with the static runtime into build-windows/cross (the build
# scripts/test-windows.sh makes and tests, with the same settings), lays out everything the
# installer holds in build-windows/setup-files and makes
# build-windows/Morvelplint-<version>-setup.exe with resources/windows/morvelplint.nsi.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVELPLINT_WINDOWS_DIR:-$root/build-windows}
start=$SECONDS
phase() { echo "== $1 ($((SECONDS - start)) s)"; }

phase "packages"
"$root/scripts/install-deps.sh"
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    nsis mandoc cmark-gfm)
"$root/scripts/install-packages.sh" "${packages[@]}"
installed=$SECONDS

# The version of the project (all four numbers); the manual pages carry the first three, as
# the build writes them in.
version=$(sed -n 's/^project(Morvelplint VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || {
    echo "no project(Morvelplint VERSION a.b.c.d) in CMakeLists.txt" >&2
    exit 1
}

phase "cross-build with mingw-w64"
# The same configuration as scripts/test-windows.sh's, so that either script builds on what
# the other built.
cmake -S "$root" -B "$out/cross" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/Toolchain-mingw-w64.cmake" \
    -DMORVELPLINT_WITH_QT=OFF -DMORVELPLINT_BENCH=OFF -DMORVELPLINT_TESTS=ON -DMORVELPLINT_WERROR=ON \
    >/dev/null
cmake --build "$out/cross" --parallel 2 \
    --target morvelplint-web morvelplint-check morvelplint_catalogues
mingw=x86_64-w64-mingw32
# The starter of the Start menu's entries: a program of its own, as small as the runtime lets.
"$mingw-g++-posix" -std=c++20 -O2 -Wall -Wextra -Werror -municode -static -s \
    -o "$out/cross/app/morvelplint-start.exe" "$root/resources/windows/MorvelplintStart.cpp" \
    -lshell32 -lole32 -luuid
built=$SECONDS

phase "the installer's files"
files=$out/setup-files
rm -rf "$files"
mkdir -p "$files/doc/nl" "$files/locale"
# The programs without their debugging information (the build keeps it, for the tests).
for program in morvelplint-web morvelplint-check; do
    "$mingw-strip" -o "$files/$program.exe" "$out/cross/app/$program.exe"
done
cp "$out/cross/app/morvelplint-start.exe" "$files/"
# The catalogues as the programs look for them: the "locale" folder beside them.
cp -r "$out/cross/app/locale/." "$files/locale/"
cp "$root/resources/rack/default-rack.json" "$files/"

# The documentation as HTML. The manual pages with the version the build wrote in, each
# reference to another of them a link; the README with its tables, and its screenshots beside
# it so that its pictures show.
manual=$out/cross/resources/man
for page in "$manual"/man1/*.1 "$manual"/nl/man1/*.1; do
    name=$(basename "$page" .1)
    case $page in
        */nl/man1/*) target=$files/doc/nl/$name.html ;;
        *) target=$files/doc/$name.html ;;
    esac
    mandoc -T html -O man=%N.html,style=morvelplint.css "$page" >"$target"
done
css='body { font-family: "Segoe UI", sans-serif; max-width: 50em; margin: 2em auto; padding: 0 1em; line-height: 1.45 }
code, pre, .Nm, .Fl, .Cm, .Ar { font-family: Consolas, monospace }
pre { background: #f4f4f4; padding: 0.6em; overflow-x: auto }
table { border-collapse: collapse } td, th { border: 1px solid #ccc; padding: 0.2em 0.5em; vertical-align: top }
img { max-width: 100% }'
printf '%s\n' "$css" >"$files/doc/morvelplint.css"
printf '%s\n' "$css" >"$files/doc/nl/morvelplint.css"
{
    printf '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
    printf '<title>Morvelplint %s</title>\n<link rel="stylesheet" href="morvelplint.css">\n' "$version"
    printf '</head>\n<body>\n'
    cmark-gfm --unsafe -e table -e autolink -e strikethrough "$root/README.md"
    printf '</body>\n</html>\n'
} >"$files/doc/README.html"
mkdir -p "$files/doc/docs/screenshots"
grep -o 'docs/screenshots/[A-Za-z0-9_.-]*\.png' "$root/README.md" | sort -u | while read -r picture; do
    cp "$root/$picture" "$files/doc/$picture"
done
cp "$root/resources/package/copyright" "$files/doc/copyright.txt"

phase "the installer"
setup=$out/Morvelplint-$version-setup.exe
rm -f "$setup"
makensis -V2 -NOCD -DVERSION="$version" -DFILES="$files" -DOUTFILE="$setup" \
    "$root/resources/windows/morvelplint.nsi"
echo "$setup: $(stat -c %s "$setup") bytes"
echo "== made: packages $((installed - start)) s, build $((built - installed)) s," \
    "installer $((SECONDS - built)) s, all $((SECONDS - start)) s"
