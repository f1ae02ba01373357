#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine and prints their tables.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${SNAPWELL_BUILD:-$ROOT/build}"
bash "$ROOT/scripts/build.sh"
export WINEPREFIX="$BUILD/wineprefix-tests"
. "$ROOT/scripts/wine-env.sh"
prepare_wine_session
"$WINE" "$BUILD/bench/image_bench.exe"
