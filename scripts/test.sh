#!/usr/bin/env bash
# Builds everything and runs every test under Wine on a display (an Xvfb it
# starts when there is none). Extra arguments go to ctest.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
run_locked tests "$@"

bash "$ROOT/scripts/build.sh"

# The tests have a prefix of their own, so that they never touch the
# settings of the Snapwell that scripts/run.sh starts, and a display of
# their own when none is set, so that they never share the keyboard focus
# with it.
export WINEPREFIX="$BUILD/wineprefix-tests"
# The shutter sound has no sound card to go to here; without the audio
# drivers it is dropped quietly instead of filling the log with ALSA errors.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=}"
. "$ROOT/scripts/wine-env.sh"
prepare_wine_session 98
# A test program that crashes ends at once with its failure instead of
# waiting for Wine's crash debugger, which would hold it until ctest's
# time-out.
"$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d "" /f \
    </dev/null >/dev/null 2>&1 || say "could not turn the crash debugger off; a crash may wait for ctest's time-out"
cd "$BUILD"
if ! ctest --output-on-failure "$@"; then
    say "some tests failed: their output is above, the whole log in $BUILD/Testing/Temporary/LastTest.log"
    exit 1
fi
