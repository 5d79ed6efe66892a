#!/usr/bin/env bash
# Runs the benchmarks of a build folder under a private X server (the uninstaller makes a hidden
# window, and Wine needs a display for it).
set -euo pipefail
build_dir=${1:-build}
shift || true
# The NSIS runtime, measured side by side; without it those figures are reported as skipped.
"$(dirname "$0")/ensure-deps.sh" --bench || echo "bench: the nsis package is missing; its figures will be skipped" >&2
source "$(dirname "$0")/xvfb.sh"
start_xvfb
python3 "$(dirname "$0")/../bench/run_bench.py" --build "$build_dir" "$@"
