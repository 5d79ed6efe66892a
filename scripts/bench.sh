#!/usr/bin/env bash
# Runs the benchmarks of a build folder under a private X server (the uninstaller makes a hidden
# window, and Wine needs a display for it).
set -euo pipefail
build_dir=${1:-build}
shift || true
source "$(dirname "$0")/xvfb.sh"
start_xvfb
python3 "$(dirname "$0")/../bench/run_bench.py" --build "$build_dir" "$@"
