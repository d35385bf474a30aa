# Shared by test.sh and run.sh: a virtual display and one persistent wineserver per run.

start_display() {
    if [ -n "${DISPLAY:-}" ] && [ -z "${NIMBREL_FORCE_XVFB:-}" ]; then
        return
    fi
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    NIMBREL_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return
        sleep 0.1
    done
    echo "warning: Xvfb did not come up on $DISPLAY" >&2
}

stop_display() {
    if [ -n "${NIMBREL_XVFB_PID:-}" ]; then
        kill "$NIMBREL_XVFB_PID" 2>/dev/null
        wait "$NIMBREL_XVFB_PID" 2>/dev/null
        NIMBREL_XVFB_PID=""
    fi
}

start_wineserver() {
    [ -d "$1/wineprefix" ] || return 0
    # The server and the prefix's services live on after the command that starts them: they must
    # not hold the caller's output open, or whoever reads it (CTest, a pipe) waits for ever.
    WINEPREFIX="$1/wineprefix" HOME="$1/winehome" /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
    "$1/wine-run.sh" wineboot </dev/null >/dev/null 2>&1
}

stop_wineserver() {
    [ -d "$1/wineprefix" ] || return 0
    # A late client restarts the server, so ask twice.
    for _ in 1 2; do
        WINEPREFIX="$1/wineprefix" HOME="$1/winehome" /usr/lib/wine/wineserver64 -k 2>/dev/null
        WINEPREFIX="$1/wineprefix" HOME="$1/winehome" /usr/lib/wine/wineserver64 -w 2>/dev/null
    done
}
