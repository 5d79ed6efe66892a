#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing. Idempotent and
# quick when everything is there; says clearly what is missing when it cannot install.
set -euo pipefail

packages=(
    cmake make g++ googletest libgtest-dev libgmock-dev nlohmann-json3-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 xvfb python3 fonts-dejavu-core locales-all
    clang libclang-rt-dev
    libbenchmark-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# An index that fails to download (a mirror in the middle of a sync) leaves the others, and the
# ones fetched before, to install from.
if ! { { $sudo apt-get update -qq || echo "apt-get update failed; installing from the indices there are"; } &&
       DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >/tmp/tidewell-apt.log 2>&1; then
    echo "Could not install: ${missing[*]}" >&2
    echo "See /tmp/tidewell-apt.log; install them with: apt-get install ${missing[*]}" >&2
    exit 1
fi
