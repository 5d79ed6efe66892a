#!/usr/bin/env bash
# Fuzzes the log loader with libFuzzer (clang, AddressSanitizer, UBSan) for a while, seeded
# with the repository's regression corpus and the named test logs.
#   scripts/fuzz.sh [SECONDS]      (default 60; also `make fuzz FUZZ_SECONDS=...`)
# New inputs gather in build/fuzz/work; a finding is written to build/fuzz/findings/ and
# ends the run with a nonzero status. Add an input worth keeping to tests/fuzz/corpus/, where
# `make test` replays it.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build/fuzz}

"$root/scripts/ensure-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target loader_fuzz tw-fixture

mkdir -p "$build/work" "$build/seeds" "$build/findings"
"$build/tw-fixture" write-all "$build/seeds"
"$build/loader_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/findings/" "$build/work" "$root/tests/fuzz/corpus" "$build/seeds"
