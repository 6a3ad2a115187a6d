#!/usr/bin/env bash
# Checks scripts/pre-commit and scripts/install-hooks.sh: each case makes a
# small repository with the hook installed, stages a file (and may leave a
# different copy in the working tree), commits, and expects the commit's exit
# status and one line of its output.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# File texts, \n for a new line.
formatted='int one() {\n    return 1;\n}'
unformatted='int  one( ) {return 1;}'
below='#pragma once\n#include "store/store.hpp"'
above='#pragma once\n#include "desktop/window.hpp"'

# A repository whose first commit passes the checks, with the hook installed.
new_repository() {
    local repo=$1
    mkdir -p "$repo/scripts" "$repo/src/store" "$repo/src/desktop"
    cp "$root/.clang-format" "$repo/"
    cp "$root/scripts/"{pre-commit,install-hooks.sh,check-layers.sh} "$repo/scripts/"
    echo '#pragma once' >"$repo/src/store/store.hpp"
    echo '#pragma once' >"$repo/src/desktop/window.hpp"
    git -C "$repo" init -q
    git -C "$repo" config user.name test
    git -C "$repo" config user.email test@example.org
    git -C "$repo" add -A
    git -C "$repo" commit -q -m first
    "$repo/scripts/install-hooks.sh" >/dev/null
}

# name | file | staged text | working-tree text (empty: the staged one) | exit status | a line
cases=(
    "a formatted file passes|src/store/one.cpp|$formatted||0|clang-format: clean (staged C++ files: 1)"
    "an unformatted file fails|src/store/one.cpp|$unformatted||1|  src/store/one.cpp"
    "the staged copy is checked, not the working tree|src/store/one.cpp|$unformatted|$formatted|1|  src/store/one.cpp"
    "an unformatted working tree is not checked|src/store/one.cpp|$formatted|$unformatted|0|clang-format: clean (staged C++ files: 1)"
    "a staged header above its layer fails|src/store/up.hpp|$above||1|src/store/up.hpp:2: store (layer 0) includes desktop/window.hpp (layer 8)"
    "the layering of the working tree is not checked|src/store/up.hpp|$below|$above|0|layers: clean (3 files)"
)

passed=0 failed=0
report() {
    if [ "$1" = ok ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $2"
        sed 's/^/    /' <<<"$3"
    fi
}

for i in "${!cases[@]}"; do
    IFS='|' read -r name file staged working want_status want_line <<<"${cases[$i]}"
    repo=$tmp/case$i
    new_repository "$repo"
    printf '%b\n' "$staged" >"$repo/$file"
    git -C "$repo" add "$file"
    [ -z "$working" ] || printf '%b\n' "$working" >"$repo/$file"
    status=0
    output=$(git -C "$repo" commit -m case 2>&1) || status=$?
    if [ "$status" -eq "$want_status" ] && grep -qxF -- "$want_line" <<<"$output"; then
        report ok
    else
        report failed "$name: exit $status (want $want_status)" "$output"
    fi
done

# Installing again keeps the hook; a hook of another origin is never replaced.
repo=$tmp/again
new_repository "$repo"
output=$("$repo/scripts/install-hooks.sh" 2>&1) && [ "$output" = \
    "pre-commit hook: already installed ($repo/.git/hooks/pre-commit)" ] &&
    report ok || report failed "installing twice" "$output"
printf '#!/bin/sh\nexit 0\n' >"$repo/.git/hooks/pre-commit"
status=0
output=$("$repo/scripts/install-hooks.sh" 2>&1) || status=$?
[ "$status" -eq 1 ] && [ "$(cat "$repo/.git/hooks/pre-commit")" = $'#!/bin/sh\nexit 0' ] &&
    grep -qF "is another hook; left as it is" <<<"$output" &&
    report ok || report failed "another hook: exit $status (want 1)" "$output"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
