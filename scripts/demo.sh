#!/usr/bin/env bash
# Runs the demo: a sample package removed by the real program under Wine, with a report.
set -euo pipefail
build=${1:-build}
source "$(dirname "$0")/xvfb.sh"
start_xvfb
cd "$(dirname "$0")/../tests/e2e"
export TIDEWELL_HOST_DIR=$(realpath "../../$build/host") TIDEWELL_WIN64_DIR=$(realpath "../../$build/win64")
export TIDEWELL_E2E_DIR="$TIDEWELL_HOST_DIR/e2e"
python3 demo.py
