#!/usr/bin/env bash
# Installs the repository's pre-commit hook (`make hooks`): a two-line hook that
# runs scripts/pre-commit of the tree being committed, so every branch and
# worktree is checked by its own script. A pre-commit hook of another origin is
# left in place and named, never replaced.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
hooks=$(git rev-parse --path-format=absolute --git-path hooks)
hook=$hooks/pre-commit
trampoline='#!/bin/sh
# Installed by scripts/install-hooks.sh.
script="$(git rev-parse --show-toplevel)/scripts/pre-commit"
if [ -x "$script" ]; then exec "$script"; fi'

if [ -e "$hook" ] || [ -L "$hook" ]; then
    if [ "$(cat "$hook")" = "$trampoline" ]; then
        echo "pre-commit hook: already installed ($hook)"
        exit 0
    fi
    echo "pre-commit hook: $hook is another hook; left as it is (remove it, then run this again)" >&2
    exit 1
fi
mkdir -p "$hooks"
printf '%s\n' "$trampoline" >"$hook"
chmod +x "$hook"
echo "pre-commit hook: installed ($hook)"
