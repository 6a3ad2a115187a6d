#!/usr/bin/env bash
# Installs every system package the build, the tests and the demo need.
# Idempotent: prints nothing and installs nothing when all is there.
set -euo pipefail
packages=(
    g++ cmake make clang-format clang-tidy
    clang libclang-rt-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev fonts-ipafont-gothic fonts-dejavu-core
    poppler-utils valgrind xvfb xauth
    libxcb1-dev dpkg-dev
    libbiosig-dev libmatio-dev libsoxr-dev pkg-config
    gettext python3
    nlohmann-json3-dev
    chromium
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
