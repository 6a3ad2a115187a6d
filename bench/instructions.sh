#!/usr/bin/env bash
# The instructions the whole demo session executes (read the recording,
# select, average, mark, correct, save, the 64-lead ARI computation), counted
# by callgrind: the figure of `make bench` that does not depend on how busy
# the machine is. The demo recording is made by the program itself
# (mapari --demo) in a scratch folder, and the session played on it as
# demo/session.script plays it.
#
# Usage: bench/instructions.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail

repository=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
program="$build/src/app/mapari"

if ! command -v valgrind > /dev/null 2>&1; then
    echo "demo session instructions: skipped, valgrind is not installed"
    exit 0
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && "$program" --demo > /dev/null)
mkdir "$scratch/data"
cp "$scratch/demo-out/data/demo01.dat" "$scratch/data/"
(cd "$scratch" && valgrind --tool=callgrind --callgrind-out-file="$scratch/callgrind.out" \
    "$program" --script "$repository/demo/session.script" --data-dir "$scratch/data" \
    > /dev/null 2> "$scratch/valgrind.log") || {
    echo "demo session instructions: the session did not end normally" >&2
    cat "$scratch/valgrind.log" >&2
    exit 1
}
count=$(sed -n 's/^summary: //p' "$scratch/callgrind.out")
printf 'demo session instructions (callgrind): %s\n' "$count"
