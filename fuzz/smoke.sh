#!/usr/bin/env bash
# A short, repeatable fuzzing run for `make test`: each target runs a fixed
# number of inputs from a fixed seed, starting from its seed corpus alone, so
# a failure found here is found again by the same command.
#   fuzz/smoke.sh BUILD_DIR JOBS TARGET:RUNS...
# Targets run JOBS at a time; the log of each is BUILD_DIR/smoke-TARGET.log,
# and a crash input goes to BUILD_DIR/artifacts/.
set -euo pipefail
build=$1 jobs=$2
shift 2
mkdir -p "$build/artifacts"

run_one() {
    local build=$1 target=${2%%:*} runs=${2##*:}
    local log="$build/smoke-$target.log" found="$build/smoke-$target"
    local options=(-seed=1 -runs="$runs" -timeout=60 -max_len=4096
        -artifact_prefix="$build/artifacts/$target-")
    [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
    rm -rf "$found" && mkdir -p "$found"
    if "$build/fuzz/$target" "$found" "fuzz/corpus/$target" "${options[@]}" >"$log" 2>&1; then
        echo "fuzz-smoke: $target: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log")"
    else
        tail -n 40 "$log"
        echo "fuzz-smoke: $target FAILED (log: $log)"
        return 1
    fi
}
export -f run_one

printf '%s\n' "$@" | xargs -P "$jobs" -I{} bash -c 'run_one "$1" "$2"' _ "$build" {}
