#!/usr/bin/env bash
# Runs each program as a user would and compares its exit code, standard output
# and standard error with what they must be, case by case.
set -uo pipefail
version=$1 mapari=$2 review=$3 synth=$4 import=$5 batch=$6 validate=$7
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir data
touch not-a-folder
failures=0

# expect NAME CODE STDOUT STDERR -- COMMAND...
expect() {
    local name=$1 code=$2 out=$3 err=$4
    shift 5
    local got_out got_err got_code
    got_out=$("$@" </dev/null 2>err.txt)
    got_code=$?
    got_err=$(cat err.txt)
    if [ "$got_code" != "$code" ] || [ "$got_out" != "$out" ] || [ "$got_err" != "$err" ]; then
        printf 'FAILED %s\n  exit %s (want %s)\n  out: %s\n  want %s\n  err: %s\n  want %s\n' \
            "$name" "$got_code" "$code" "$got_out" "$out" "$got_err" "$err"
        failures=$((failures + 1))
    fi
}

no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
dead_display=(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4093)
remedy="run a session headless with --script FILE"

expect "mapari --version" 0 "mapari $version" "" -- "$mapari" --version
expect "mapari-review --version" 0 "mapari-review $version" "" -- "$review" --version
expect "mapari-synth --version" 0 "mapari-synth $version" "" -- "$synth" --version
expect "mapari-import --version" 0 "mapari-import $version" "" -- "$import" --version
expect "mapari-batch --version" 0 "mapari-batch $version" "" -- "$batch" --version
expect "mapari-validate --version" 0 "mapari-validate $version" "" -- "$validate" --version
# A file-size limit fails the write, which is reported; the program is not killed half way.
expect "mapari-synth at a file-size limit" 1 "" "mapari-synth: cannot write big.dat: File too large" \
    -- bash -c 'ulimit -f 8; exec "$0" --out big.dat' "$synth"
if compgen -G "big.dat*" >/dev/null || compgen -G ".big.dat*" >/dev/null; then
    echo "FAILED mapari-synth at a file-size limit left a file: $(ls -a | grep big)"
    failures=$((failures + 1))
fi
expect "mapari-validate of a record that is not there" 1 "no stretch was measured" \
    "mapari-validate: nowhere.hea: No such file or directory" -- "$validate" nowhere.hea --lang en
expect "mapari-import without a name" 2 "" "mapari-import: --data-dir and --name are needed
$("$import" --help)" -- "$import" source.edf --data-dir data
expect "mapari-import of a file that is not there" 1 "" \
    "mapari-import: nowhere.edf: there is no such file" \
    -- "$import" nowhere.edf --data-dir data --name run
expect "mapari-import --check of a text file" 1 "not-a-folder: 0 frames (0 s)
flat channels: none
clipped channels: none
not a recording: it holds no frames to look at" "" -- "$import" --check not-a-folder
expect "script, missing data folder" 2 "" \
    "mapari: the data folder nowhere cannot be used: there is no such folder" \
    -- "$mapari" --script - --data-dir nowhere
expect "script, data folder is a file" 2 "" \
    "mapari: the data folder not-a-folder cannot be used: it is not a folder" \
    -- "$mapari" --script - --data-dir not-a-folder
expect "desktop, missing data folder" 2 "" \
    "mapari: the data folder nowhere cannot be used: there is no such folder" \
    -- "${no_display[@]}" "$mapari" --data-dir nowhere
expect "desktop, no display" 1 "" \
    "mapari: no display for the desktop program (DISPLAY is not set); $remedy" \
    -- "${no_display[@]}" "$mapari" --data-dir data
expect "desktop, display that does not answer" 1 "" \
    "mapari: cannot open the display \":4093\" for the desktop program; $remedy" \
    -- "${dead_display[@]}" "$mapari" --data-dir data
expect "demo in the window, display that does not answer" 1 "" \
    "mapari: cannot open the display \":4093\" for the desktop program; $remedy" \
    -- "${dead_display[@]}" "$mapari" --demo --gui
expect "mapari-review without a desktop session prints its own lines alone" 2 "" \
    "mapari-review: name the .ari file to review
$("$review" --help)" \
    -- env -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM -u DISPLAY "$review"

# The demo session played in English: the same result files, no Japanese line.
mkdir demo-ja demo-en
(cd demo-ja && "${no_display[@]}" "$mapari" --demo >transcript.txt 2>&1)
(cd demo-en && "${no_display[@]}" "$mapari" --demo --lang en >transcript.txt 2>&1)
for file in demo01.ds demo01.se demo01.ari; do
    if ! cmp -s "demo-ja/demo-out/data/$file" "demo-en/demo-out/data/$file"; then
        echo "FAILED the English demo wrote another $file"
        failures=$((failures + 1))
    fi
done
if LC_ALL=C grep -q -P '[\x80-\xff]' demo-en/transcript.txt; then
    echo "FAILED the English demo's transcript holds Japanese: $(LC_ALL=C grep -m 1 -P '[\x80-\xff]' demo-en/transcript.txt)"
    failures=$((failures + 1))
fi
expect "an unknown language" 2 "" "mapari: --lang takes ja or en, not \"fr\"
$("$mapari" --help)" -- "$mapari" --lang fr

[ "$failures" -eq 0 ] && echo "programs: every case as it must be"
exit "$failures"
