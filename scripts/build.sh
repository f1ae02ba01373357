#!/usr/bin/env bash
# Installs what is missing, cross-builds the libraries once, then builds
# Snapwell, snapctl and the tests into build/.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
run_locked build "$@"

bash "$ROOT/scripts/setup.sh"

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh"
fi
cmake --build "$BUILD" -j"$(nproc)"
