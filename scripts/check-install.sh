#!/usr/bin/env bash
# Checks a Release build as a user and a packager meet it: installs it into a
# temporary prefix, runs the installed programs from a folder outside the
# source tree with no display (the demo, the review, the import's check, a
# batch), and reads the Debian package's fields and contents.
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
for file in bin/mapari bin/mapari-review bin/mapari-synth bin/mapari-import bin/mapari-batch \
    bin/mapari-validate \
    libexec/mapari/mapari-window \
    share/doc/mapari/README.md share/doc/mapari/LICENSE share/doc/mapari/CHANGELOG.md \
    share/doc/mapari/CITATION.cff share/locale/en/LC_MESSAGES/mapari.mo \
    share/locale/ja/LC_MESSAGES/mapari.mo; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done

for program in mapari mapari-review mapari-synth mapari-import mapari-batch mapari-validate; do
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
# The installed catalogues: the demo in English finds them beside the program.
mkdir english
(cd english && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/mapari" --demo \
    --lang en >demo.txt 2>&1) || fail "the installed mapari --demo --lang en failed"
grep -q "^Unit 12| Select beat (s), Average (b), Delete (d), Back (o), End (x)$" english/demo.txt ||
    fail "the installed program did not find its English catalogue"
"$prefix/bin/mapari-import" --check demo-out/data/demo01.dat >check.txt ||
    fail "the installed mapari-import --check refused the demo recording: $(cat check.txt)"

# The installed batch over two recordings, then the review of all of them.
mkdir runs
for seed in 1 2; do "$prefix/bin/mapari-synth" --out "runs/run00$seed.dat" --seed "$seed" --seconds 4; done
"$prefix/bin/mapari-batch" runs/run001.dat runs/run002.dat --out study --jobs 2 >batch.txt 2>&1 ||
    fail "the installed mapari-batch did not analyse both recordings: $(cat batch.txt)"
for name in run001 run002; do
    [ -s "study/$name/$name.ari" ] || fail "the batch wrote no study/$name/$name.ari"
done
[ "$(wc -l <study/results.csv)" -eq 129 ] || fail "study/results.csv does not hold 2 x 64 rows"

# The package: its fields, its dependencies from the linked libraries, its files.
package="$build/mapari_${version}_amd64.deb"
[ -f "$package" ] || fail "no package $package"
info=$(dpkg-deb --info "$package")
for field in "Package: mapari" "Version: $version" "Architecture: amd64"; do
    grep -q "^ $field\$" <<<"$info" || fail "the package has no \"$field\""
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dependency in libc6 libstdc++6 libqt6gui6 libqt6widgets6 libxcb1 libbiosig3 libmatio11 \
    libsoxr0 fonts-ipafont-gothic fonts-dejavu-core; do
    grep -q "\b$dependency\b" <<<"$depends" || fail "the package does not depend on $dependency"
done
contents=$(dpkg-deb --contents "$package")
for file in usr/bin/mapari usr/bin/mapari-review usr/bin/mapari-synth usr/bin/mapari-import \
    usr/bin/mapari-batch usr/bin/mapari-validate \
    usr/libexec/mapari/mapari-window usr/share/doc/mapari/LICENSE \
    usr/share/doc/mapari/CHANGELOG.md usr/share/doc/mapari/README.md \
    usr/share/locale/en/LC_MESSAGES/mapari.mo; do
    grep -q " \./$file\$" <<<"$contents" || fail "the package does not hold /$file"
done
echo "install check: the installed programs and mapari_${version}_amd64.deb are as they should be"
