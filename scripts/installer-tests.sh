#!/usr/bin/env bash
# Runs the installer tests in a Wine prefix of their own, made anew for each
# run: build/wineprefix-installer is deleted and created again, so that the
# installer meets a computer on which Snapwell was never installed. CTest's
# command for them; the arguments are the program and its own arguments.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${SNAPWELL_BUILD:-$ROOT/build}"
export WINEPREFIX="$BUILD/wineprefix-installer"
# Wine's menu builder would turn the installer's Start-menu shortcut into an
# entry of the Linux desktop's menu; the tests look at the shortcut itself.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winemenubuilder.exe="
. "$ROOT/scripts/wine-env.sh"

if [ -e "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi
# On the tests' display (an Xvfb on :98 when there is none), in a virtual
# desktop, with one Wine server for the run.
prepare_wine_session 98
# A crash ends the test program at once instead of waiting in Wine's
# debugger until ctest's time-out.
"$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d "" /f \
    </dev/null >/dev/null 2>&1 || true
exec "$WINE" "$@"
