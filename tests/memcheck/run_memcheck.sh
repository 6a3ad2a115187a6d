#!/usr/bin/env bash
# Plays one whole headless session under valgrind's memcheck and fails on any
# memory error or leak that valgrind reports, or when the session itself does
# not end normally or leaves no ARI file.
set -euo pipefail
mapari=$1 synth=$2 script=$3 work=$4
rm -rf "$work"
mkdir -p "$work/data"
"$synth" --seconds 4 --seed 1 --out "$work/data/demo01.dat"
cd "$work"
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect,possible --show-leak-kinds=definite,indirect,possible \
    --track-origins=yes --log-file=memcheck.log \
    "$mapari" --script "$script" --data-dir data >transcript.txt || {
    status=$?
    cat memcheck.log
    echo "memcheck: exit status $status"
    exit 1
}
grep -q "ERROR SUMMARY: 0 errors" memcheck.log || { cat memcheck.log; exit 1; }
test -s data/demo01.ari || { echo "memcheck: the session wrote no ARI file"; exit 1; }
echo "memcheck: clean, $(grep -c '' transcript.txt) transcript lines"
