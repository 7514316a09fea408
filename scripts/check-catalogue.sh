#!/usr/bin/env bash
# Fails when a program text marked with Tr or TrMark has no entry in the English catalogue
# of the "default" domain. Usage: check-catalogue.sh <source folder>
set -euo pipefail
export LC_ALL=C.UTF-8
root=$1
pot=$(mktemp --suffix=.pot)
trap 'rm -f "$pot"' EXIT
cd "$root"
mapfile -t sources < <(find app bus capture cards diag platform serial session settings sim web \
    \( -name '*.cpp' -o -name '*.h' \) | sort)
# The catalogue keeps "\r\n" where the message box text has it; xgettext only warns about it.
xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=Tr --keyword=TrMark \
    --force-po -o "$pot" "${sources[@]}" 2> >(grep -v "'\\\\r' escape" >&2)
msgcmp resources/locale/en/default.po "$pot"
