#!/usr/bin/env bash
# Checks the layers of the program's own folders: a folder includes only from itself and the
# folders below it, the two front-ends never from each other, and Qt only where a path says
# so (a qt/ folder, or app/, the desktop front-end). A program's main() (main.cpp, *Main.cpp)
# stands above every layer: it builds the session and shows it. Prints each include that
# breaks a rule.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# Lowest first; folders in one entry, joined by "|", are peers that never include each other.
layers=(platform serial bus settings capture sim cards diag session "web|app")

declare -A rank
for i in "${!layers[@]}"; do
    IFS='|' read -r -a peers <<<"${layers[$i]}"
    for folder in "${peers[@]}"; do rank[$folder]=$i; done
done

status=0
while IFS= read -r file; do
    folder=${file%%/*}
    [[ -n ${rank[$folder]:-} ]] || continue
    case ${file##*/} in main.cpp | *Main.cpp) continue ;; esac
    while IFS=: read -r line included; do
        target=${included%%/*}
        [[ -n ${rank[$target]:-} ]] || continue
        if [[ $target != "$folder" && ${rank[$target]} -ge ${rank[$folder]} ]]; then
            echo "$file:$line: includes $included from a layer that is not below $folder/"
            status=1
        fi
    done < <(grep -noE '^#include "[a-z]+/[^"]+"' "$file" | sed -E 's/^([0-9]+):#include "(.*)"/\1:\2/')
    if [[ $folder != app && $file != */qt/* ]] && grep -qE '^#include <Q' "$file"; then
        echo "$file: includes Qt outside a qt/ folder"
        status=1
    fi
done < <(git ls-files '*.h' '*.cpp' '*.cpp.in')
exit $status
