#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing. Idempotent and
# quick when everything is there; says clearly what is missing when it cannot install.
#
#     scripts/ensure-deps.sh [--bench]
#
# --bench: only what the benchmarks need besides the build, the NSIS compiler and its runtime
# (`make bench` asks for it; the build and the tests never need it).
set -euo pipefail

packages=(
    cmake make g++ googletest libgtest-dev libgmock-dev nlohmann-json3-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 xvfb python3 fonts-dejavu-core locales-all
    clang libclang-rt-dev
    libbenchmark-dev
)
if [ "${1:-}" = --bench ]; then
    packages=(nsis)
fi

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
apt_install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
# The package lists as they are first; then fresh ones, where an index that fails to download (a
# mirror in the middle of a sync, the i386 one say) leaves the others to install from.
if ! { apt_install ||
       { { $sudo apt-get update -qq || echo "apt-get update failed; installing from the indices there are"; } &&
         apt_install; }; } >/tmp/tidewell-apt.log 2>&1; then
    echo "Could not install: ${missing[*]}" >&2
    echo "See /tmp/tidewell-apt.log; install them with: apt-get install ${missing[*]}" >&2
    exit 1
fi
