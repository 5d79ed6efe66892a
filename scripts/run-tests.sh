#!/usr/bin/env bash
# Runs the whole test suite of a host build directory, with a private X server for the
# end-to-end tests when none is given.
set -euo pipefail
build_dir=${1:-build/host}
source "$(dirname "$0")/xvfb.sh"
start_xvfb
cd "$build_dir"
ctest --output-on-failure -j2 --timeout 900
