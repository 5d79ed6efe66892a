#!/usr/bin/env bash
# Runs the test suite of a host build directory (all of it, or what the further ctest arguments
# select, e.g. -L win32), with a private X server for the end-to-end tests when none is given.
set -euo pipefail
build_dir=${1:-build/host}
shift || true
source "$(dirname "$0")/xvfb.sh"
start_xvfb
cd "$build_dir"
rm -f e2e/win32-skipped.txt  # says why the 32-bit tests of this run were skipped, if they were
status=0
ctest --output-on-failure -j2 --timeout 900 "$@" || status=$?
# ctest lists skipped tests without their reason: say why the 32-bit program's were skipped.
if [ -f e2e/win32-skipped.txt ]; then
    echo "The 32-bit program's end-to-end tests were $(cat e2e/win32-skipped.txt)"
fi
exit "$status"
