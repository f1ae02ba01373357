# Sourced by the scripts that run Windows programs: one Wine prefix inside the
# build tree, no debug chatter, and no downloads of Mono or Gecko.
ROOT="${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
BUILD="${SNAPWELL_BUILD:-$ROOT/build}"
export WINEPREFIX="${WINEPREFIX:-$BUILD/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Without a sound card or a sound server, Wine's audio drivers fill the log
# with ALSA errors at the first shutter sound; the sound is then dropped
# quietly instead.
if [ -z "${WINEDLLOVERRIDES:-}" ] && [ ! -e /dev/snd/controlC0 ] && [ -z "${PULSE_SERVER:-}" ] &&
    [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ]; then
    WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv="
fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
if [ -x /usr/lib/wine/wine64 ]; then
    WINE=/usr/lib/wine/wine64
else
    WINE="$(command -v wine64 || command -v wine)"
fi
export WINE

# Creates the prefix on first use (about ten seconds) and waits for it.
wine_prefix_ready() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$WINE" wineboot -i >/dev/null 2>&1 || true
        wineserver -w || true
    fi
}

# True when the X server of display :N answers (a socket alone may be left
# over by a server that is gone).
display_answers() {
    DISPLAY=":$1" xdotool getdisplaygeometry >/dev/null 2>&1
}

# Starts an Xvfb on :N (default 99) when there is no usable display, and
# exports DISPLAY.
ensure_display() {
    local d="${DISPLAY:-}"
    d="${d#*:}"; d="${d%%.*}"
    if [ -n "$d" ] && display_answers "$d"; then return 0; fi
    local n="${1:-99}"
    if ! display_answers "$n"; then
        local lock="/tmp/.X$n-lock"
        if [ -f "$lock" ] && ! kill -0 "$(tr -d ' ' < "$lock")" 2>/dev/null; then
            rm -f "$lock" "/tmp/.X11-unix/X$n"
        fi
        if [ ! -f "$lock" ]; then
            (setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &)
        fi
        for _ in $(seq 100); do display_answers "$n" && break; sleep 0.1; done
        if ! display_answers "$n"; then
            echo "no display: Xvfb :$n did not start or does not answer (is the package xvfb installed? is another server holding /tmp/.X$n-lock?)" >&2
            return 1
        fi
    fi
    export DISPLAY=":$n"
}

# A display (an Xvfb on :N when there is none), a ready prefix, and one Wine
# server kept alive between the programs of a run, so that each starts in
# about a second.
prepare_wine_session() {
    ensure_display "${1:-99}"
    wine_prefix_ready
    use_virtual_desktop
    # 2 means the prefix's server is still running from an earlier run,
    # which serves as well.
    local status=0
    wineserver -p60 </dev/null >/dev/null 2>&1 || status=$?
    if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
        echo "the Wine server of $WINEPREFIX did not start (exit $status)" >&2
        return 1
    fi
    # The first program of a session starts Wine's background processes
    # (services, the desktop), which inherit its output and keep it open
    # until the server ends. Started here with no output, they cannot hold
    # the pipe of ctest or of the caller of this script.
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Every program of the prefix runs inside one Wine virtual desktop of the
# display's size: keyboard input and hot keys reach Wine windows only while
# a Wine window has the X focus, and the desktop window gives them that.
# The desktop process reads the setting when it starts, so a change restarts
# the prefix's Wine session.
use_virtual_desktop() {
    local size current
    size="$(xdotool getdisplaygeometry 2>/dev/null | tr ' ' x || true)"
    [ -n "$size" ] || size=1280x1024
    current="$(grep -A3 '^\[Software\\\\Wine\\\\Explorer\\\\Desktops\]' "$WINEPREFIX/user.reg" 2>/dev/null |
        sed -n 's/^"Default"="\(.*\)"$/\1/p' | head -1 || true)"
    if [ "$current" = "$size" ] && grep -q '^"Desktop"="Default"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        return 0
    fi
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
