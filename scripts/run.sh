#!/usr/bin/env bash
# Builds Snapwell, registers its automation server and starts it as a tray
# program in a Wine virtual desktop on the current display (or on an Xvfb it
# starts when there is none). Extra arguments go to Snapwell.exe.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$ROOT/scripts/build.sh"
. "$ROOT/scripts/wine-env.sh"
# A new prefix is a new user: as an installer does, ask for the first-run
# questions at the first start.
fresh=0
[ -f "$WINEPREFIX/system.reg" ] || fresh=1
prepare_wine_session 99
if [ "$fresh" = 1 ]; then
    "$WINE" reg add 'HKCU\Software\Veltrane\Snapwell' /v NeedConfig /t REG_DWORD /d 1 /f >/dev/null 2>&1 ||
        say "could not ask for the first-run questions; run Snapwell.exe /Config for them"
fi
# snapctl and other programs reach the running Snapwell through COM.
"$WINE" "$BUILD/bin/Snapwell.exe" /Regserver || say "registering the automation server failed; snapctl will not reach Snapwell"
cat <<INFO
Snapwell: $BUILD/bin/Snapwell.exe (Wine prefix $WINEPREFIX, display $DISPLAY)
The camera icon at the bottom right of the Wine desktop is Snapwell: right-click
it for its menu. Hot keys: Print Screen (full screen), Alt+Print Screen
(window), Shift+Print Screen (rectangle), Ctrl+Print Screen (toolbar),
Ctrl+Shift+Print Screen (give a window an exact size).
From a shell:  $WINE $BUILD/bin/snapctl.exe rect 0 0 640 480
A picture of the display:  DISPLAY=$DISPLAY import -window root shot.png
On a new prefix Snapwell first asks five set-up questions (run it with
/Config to answer them again).
Snapwell runs until you choose Exit in its menu.
INFO
status=0
"$WINE" "$BUILD/bin/Snapwell.exe" "$@" || status=$?
if [ "$status" -ne 0 ]; then
    say "Snapwell ended with exit code $status"
    exit "$status"
fi
