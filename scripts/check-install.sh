#!/usr/bin/env bash
# Checks a Release build as a user and a packager meet it: installs it into a
# temporary prefix, runs the installed programs from a folder outside the
# source tree with no display (the demo, the review, the README's batch
# recipe), and reads the Debian package's fields and contents.
# Usage: scripts/check-install.sh BUILD_DIR   (after `make package`)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: check-install.sh BUILD_DIR}" && pwd)
version=$(sed -n 's/^project(mapari VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

fail() {
    echo "install check: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/mapari bin/mapari-review bin/mapari-synth bin/mapari-import \
    libexec/mapari/mapari-window \
    share/doc/mapari/README.md share/doc/mapari/LICENSE share/doc/mapari/CHANGELOG.md \
    share/doc/mapari/CITATION.cff; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done

for program in mapari mapari-review mapari-synth mapari-import; do
    said=$("$prefix/bin/$program" --version)
    [ "$said" = "$program $version" ] || fail "$program --version says \"$said\""
done

# The demo and its review, installed, in a folder of their own, without a display.
work=$scratch/work
mkdir -p "$work"
cd "$work"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/mapari" --demo >demo.txt 2>&1 ||
    fail "the installed mapari --demo failed: $(tail -n 3 demo.txt)"
[ -s demo-out/data/demo01.ari ] || fail "the installed demo wrote no demo01.ari"
env -u DISPLAY -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM "$prefix/bin/mapari-review" \
    demo-out/data/demo01.ari --ds demo-out/data/demo01.ds >review.txt 2>review-errors.txt ||
    fail "the installed mapari-review failed: $(cat review-errors.txt)"
[ ! -s review-errors.txt ] || fail "mapari-review printed lines not its own: $(cat review-errors.txt)"
for extension in png pdf csv; do
    [ -s "demo-out/data/demo01.$extension" ] || fail "mapari-review wrote no demo01.$extension"
done
"$prefix/bin/mapari-import" --check demo-out/data/demo01.dat >check.txt ||
    fail "the installed mapari-import --check refused the demo recording: $(cat check.txt)"

# The README's batch recipe, as written, over two recordings in place of /data/runs.
mkdir runs
for variable in 001 002; do "$prefix/bin/mapari-synth" --out "runs/run$variable.dat" --seconds 4; done
sed 's/^demo$/run/; s/^01$/@VARIABLE@/; s/^demo01$/@SAVE@/' "$source_dir/demo/session.script" \
    >session.template
sed -n '/^## Batch analysis/,/^## /p' "$source_dir/README.md" | sed -n '/^```$/,/^```$/p' |
    sed '1d;$d' |
    sed "s|/data/runs|$work/runs|g" >recipe.sh
[ -s recipe.sh ] || fail "the README holds no batch recipe"
PATH="$prefix/bin:$PATH" bash recipe.sh || fail "the README's batch recipe failed ($?)"
for variable in 001 002; do
    [ -s "logs/$variable.txt" ] || fail "the batch recipe wrote no logs/$variable.txt"
    [ -s "runs/run$variable.ari" ] || fail "the batch recipe wrote no run$variable.ari"
done

# The package: its fields, its dependencies from the linked libraries, its files.
package="$build/mapari_${version}_amd64.deb"
[ -f "$package" ] || fail "no package $package"
info=$(dpkg-deb --info "$package")
for field in "Package: mapari" "Version: $version" "Architecture: amd64"; do
    grep -q "^ $field\$" <<<"$info" || fail "the package has no \"$field\""
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dependency in libc6 libstdc++6 libqt6gui6 libqt6widgets6 libxcb1 libbiosig3 libmatio11 \
    libsoxr0 fonts-ipafont-gothic; do
    grep -q "\b$dependency\b" <<<"$depends" || fail "the package does not depend on $dependency"
done
contents=$(dpkg-deb --contents "$package")
for file in usr/bin/mapari usr/bin/mapari-review usr/bin/mapari-synth usr/bin/mapari-import \
    usr/libexec/mapari/mapari-window usr/share/doc/mapari/LICENSE \
    usr/share/doc/mapari/CHANGELOG.md usr/share/doc/mapari/README.md; do
    grep -q " \./$file\$" <<<"$contents" || fail "the package does not hold /$file"
done
echo "install check: the installed programs and mapari_${version}_amd64.deb are as they should be"
