#!/usr/bin/env bash
# Runs a test program on two monitors, the second left of the primary: an
# X server with two dummy screens joined by Xinerama on :96, and a prefix of
# its own without a virtual desktop (a virtual desktop is one monitor).
# CTest's command for the monitor tests; the arguments are the program and
# its own arguments.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${SNAPWELL_BUILD:-$ROOT/build}"
export WINEPREFIX="$BUILD/wineprefix-monitors"
. "$ROOT/scripts/wine-env.sh"

n=96
lock="/tmp/.X$n-lock"
if [ -f "$lock" ] && ! kill -0 "$(tr -d ' ' < "$lock")" 2>/dev/null; then
    rm -f "$lock" "/tmp/.X11-unix/X$n"
fi
if [ ! -S "/tmp/.X11-unix/X$n" ]; then
    if ! command -v Xorg >/dev/null || [ ! -f /usr/lib/xorg/modules/drivers/dummy_drv.so ]; then
        echo "the monitor tests need Xorg and its dummy driver: run scripts/setup.sh" >&2
        exit 1
    fi
    (setsid Xorg ":$n" -config "$ROOT/tests/monitors/xorg.conf" -noreset -nolisten tcp -novtswitch -sharevts \
        -logfile "$BUILD/xorg-monitors.log" </dev/null >/dev/null 2>&1 &)
    for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ ! -S "/tmp/.X11-unix/X$n" ]; then
        echo "Xorg :$n with two dummy monitors did not start; its log is $BUILD/xorg-monitors.log" >&2
        exit 1
    fi
fi
export DISPLAY=":$n"

wine_prefix_ready
# Wine's XFree86-VidMode support fails on a second Xinerama screen; the
# monitors come from Xinerama alone. There is no window manager on this
# server, and Wine would wait two seconds for one at each window's end.
if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v UseXVidMode /d N /f </dev/null >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d "" /f \
        </dev/null >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
fi
status=0
wineserver -p60 </dev/null >/dev/null 2>&1 || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
    echo "the Wine server of $WINEPREFIX did not start (exit $status)" >&2
    exit 1
fi
# Wine's background processes start here with no output, so that they do
# not hold ctest's pipe.
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
exec "$WINE" "$@"
