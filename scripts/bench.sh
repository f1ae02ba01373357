#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine and prints their tables.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# The benchmarks run in the tests' prefix, so one at a time with the tests.
run_locked tests "$@"

bash "$ROOT/scripts/build.sh"
export WINEPREFIX="$BUILD/wineprefix-tests"
. "$ROOT/scripts/wine-env.sh"
prepare_wine_session 98
# The native reference encodes run on this machine in the same run; the
# benchmark leaves its frame as a PPM there and reads their time back.
export SNAPWELL_BENCH_DIR="$BUILD/bench/work"
mkdir -p "$SNAPWELL_BENCH_DIR"
"$WINE" "$BUILD/bench/image_bench.exe"
