#!/usr/bin/env bash
# Builds Snapwell and starts it under Wine on the current display (or on an
# Xvfb it starts when there is none).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${SNAPWELL_BUILD:-$ROOT/build}"

bash "$ROOT/scripts/build.sh"
. "$ROOT/scripts/wine-env.sh"
prepare_wine_session
echo "Snapwell: $BUILD/bin/Snapwell.exe (Wine prefix $WINEPREFIX, display $DISPLAY)"
"$WINE" "$BUILD/bin/Snapwell.exe" "$@"
