#!/usr/bin/env bash
# Checks that scripts/check-layers.sh catches what it is there to catch: each
# case builds a small tree that passes the check, adds one file, and expects
# the check's exit status and one line of its output.
set -euo pipefail
check=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/check-layers.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A tree in which every folder includes only what its layer allows.
clean_tree() {
    local root=$1
    mkdir -p "$root"/src/{store,beats,phases,desktop} "$root"/tools
    echo '#pragma once' >"$root/src/store/store.hpp"
    printf '#pragma once\n#include "store/store.hpp"\n' >"$root/src/beats/marks.hpp"
    printf '#pragma once\n#include "beats/marks.hpp"\n' >"$root/src/phases/plot.hpp"
    printf '#include <QWidget>\n#include "phases/plot.hpp"\n' >"$root/src/desktop/window.hpp"
    printf '#include "desktop/window.hpp"\n#include "window_main.hpp"\n' >"$root/tools/main.cpp"
}

# name | added file | its include (on line 3) | exit status | a line of the output
cases=(
    'a clean tree passes|||0|layers: clean (5 files)'
    'beats including phases fails|src/beats/x.cpp|#include "phases/plot.hpp"|1|src/beats/x.cpp:3: beats (layer 3) includes phases/plot.hpp (layer 6)'
    'Qt in beats fails|src/beats/x.cpp|#include <QWidget>|1|src/beats/x.cpp:3: Qt header <QWidget> outside src/desktop'
    'Qt in desktop passes|src/desktop/x.cpp|#include <QWidget>|0|layers: clean (6 files)'
    'Qt in a main of tools fails|tools/x.cpp|#include <QGuiApplication>|1|tools/x.cpp:3: Qt header <QGuiApplication> outside src/desktop'
    'a main of tools including desktop passes|tools/x.cpp|#include "desktop/window.hpp"|0|layers: clean (6 files)'
    'desktop including tools fails|src/desktop/x.cpp|#include "tools/main.hpp"|1|src/desktop/x.cpp:3: desktop (layer 8) includes tools/main.hpp (layer 9)'
    'an unknown src/foo fails|src/foo/x.cpp|#include "store/store.hpp"|1|src/foo is in no layer'
)

passed=0 failed=0
for i in "${!cases[@]}"; do
    IFS='|' read -r name file include want_status want_line <<<"${cases[$i]}"
    root=$tmp/case$i
    clean_tree "$root"
    if [ -n "$file" ]; then
        mkdir -p "$(dirname "$root/$file")"
        printf '// A file of the case.\n\n%s\n' "$include" >"$root/$file"
    fi
    status=0
    output=$("$check" "$root") || status=$?
    if [ "$status" -eq "$want_status" ] && grep -qxF -- "$want_line" <<<"$output"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name: exit $status (want $want_status), output:"
        echo "$output" | sed 's/^/    /'
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
