#!/usr/bin/env bash
# Runs clang-tidy, with the checks of .clang-tidy, over every C++ file of the
# project that a build compiles (src, tools, tests, bench), in parallel, with
# that build's compile commands; the build must have been built, as some
# sources include files it generates. Any finding fails the run.
#
# Usage: lint.sh BUILD [JOBS]   (`make lint` runs it on the normal build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:?usage: lint.sh BUILD [JOBS]}
jobs=${2:-$(nproc)}
commands=$build/compile_commands.json
if [ ! -f "$commands" ]; then
    echo "lint: $commands is missing; configure and build $build first" >&2
    exit 1
fi
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
    echo "lint: clang-tidy is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

mapfile -t files < <(python3 -c '
import json, sys
for entry in json.load(open(sys.argv[1])):
    print(entry["file"])' "$commands" | grep -E "^$root/(src|tools|tests|bench)/" | sort -u)
if [ ${#files[@]} -eq 0 ]; then
    echo "lint: $commands names no file of the project" >&2
    exit 1
fi

# clang-tidy counts the compiler's warnings it hides ("N warnings generated.");
# only its findings are of interest.
if ! printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$jobs" "$tidy" -p "$build" --quiet 2>&1 |
    { grep -Ev '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' || true; }; then
    echo "clang-tidy: findings above" >&2
    exit 1
fi
echo "clang-tidy: clean (${#files[@]} files)"
