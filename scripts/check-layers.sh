#!/usr/bin/env bash
# Checks that each source folder includes only headers of its own layer or a
# lower one, so that the computations below never see a runtime or a drawing:
#
#   0 store   1 formats   2 regression recording   3 beats ari review importing synthesis
#   4 window   5 dialogue   6 phases   7 app   8 desktop
#   9 tools: the programs' mains, which nothing includes
#
# The table is kept in the shared design doc; a new folder under src/ must be
# placed in it (and here), else it is itself a violation. Qt headers (<Q...>)
# belong to the drawing, so only src/desktop may include them.
# A quoted include without a folder ("review_command.hpp") and a system header
# are not checked.
#
# Usage: check-layers.sh [ROOT]   (default: the repository root)
# Prints one line per violation and exits 1, or prints a summary and exits 0.
set -euo pipefail

root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root"

layers=(store:0 formats:1 regression:2 recording:2 beats:3 ari:3 review:3 importing:3 synthesis:3
    window:4 dialogue:5 phases:6 app:7 desktop:8 tools:9)

tops=()
for top in src tools; do
    if [ -d "$top" ]; then tops+=("$top"); fi
done
files=()
if [ ${#tops[@]} -gt 0 ]; then
    mapfile -t files < <(find "${tops[@]}" -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.in' \) | sort)
fi

# The folder a path or an included header belongs to: tools, or the folder
# under src/. A folder in no layer is reported once, by the loop over src/
# below, and its files' includes are not checked; a file straight in src/ is
# reported here.
program='
    function folder(path) {
        if (path ~ /^tools\//) return "tools"
        split(path, part, "/")
        return part[1] == "src" ? part[2] : part[1]
    }
    BEGIN {
        n = split(layers, entry, " ")
        for (i = 1; i <= n; i++) if (split(entry[i], kv, ":") == 2) layer[kv[1]] = kv[2]
    }
    FNR == 1 {
        own = FILENAME ~ /^src\/[^\/]*$/ ? "" : folder(FILENAME)
        if (own == "") print FILENAME " is in no layer"
    }
    !/^[ \t]*#[ \t]*include[ \t]*[<"]/ { next }
    /^[ \t]*#[ \t]*include[ \t]*<Q/ && own != "desktop" {
        match($0, /<[^>]*>/)
        print FILENAME ":" FNR ": Qt header " substr($0, RSTART, RLENGTH) " outside src/desktop"
        next
    }
    match($0, /"[^"]*\/[^"]*"/) && (own in layer) {
        header = substr($0, RSTART + 1, RLENGTH - 2)
        to = folder(header)
        if ((to in layer) && layer[to] + 0 > layer[own] + 0)
            print FILENAME ":" FNR ": " own " (layer " layer[own] ") includes " header " (layer " layer[to] ")"
    }
'

shopt -s nullglob
violations=$(
    for dir in src/*/; do
        name=$(basename "$dir")
        [[ " ${layers[*]} " == *" $name:"* ]] || echo "src/$name is in no layer"
    done
    if [ ${#files[@]} -gt 0 ]; then
        awk -v layers="${layers[*]}" "$program" "${files[@]}"
    fi
)

if [ -n "$violations" ]; then
    echo "$violations"
    exit 1
fi
echo "layers: clean (${#files[@]} files)"
