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
layers="platform serial bus settings capture sim cards diag session web|app"

# One pass over every file (a process per file took seconds).
git ls-files -z '*.h' '*.cpp' '*.cpp.in' | xargs -0 awk -v layers="$layers" '
    BEGIN {
        n = split(layers, entries, " ")
        for (i = 1; i <= n; ++i) {
            m = split(entries[i], peers, "|")
            for (j = 1; j <= m; ++j) rank[peers[j]] = i
        }
        status = 0
    }
    FNR == 1 {
        folder = FILENAME; sub(/\/.*/, "", folder)
        name = FILENAME; sub(/.*\//, "", name)
        checked = (folder in rank) && name != "main.cpp" && name !~ /Main\.cpp$/
        qtAllowed = folder == "app" || FILENAME ~ /\/qt\//
        qtTold = 0
    }
    !checked { next }
    /^#include "[a-z]+\/[^"]+"/ {
        included = $0; sub(/^#include "/, "", included); sub(/".*/, "", included)
        target = included; sub(/\/.*/, "", target)
        if ((target in rank) && target != folder && rank[target] >= rank[folder]) {
            print FILENAME ":" FNR ": includes " included " from a layer that is not below " folder "/"
            status = 1
        }
    }
    /^#include <Q/ && !qtAllowed && !qtTold {
        print FILENAME ": includes Qt outside a qt/ folder"
        qtTold = 1
        status = 1
    }
    END { exit status }' || exit 1
