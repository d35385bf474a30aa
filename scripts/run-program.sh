#!/usr/bin/env bash
# Runs a built Nimbrel.exe under wine64 in the win64 build's prefix, arguments passed through.
# With a display the program runs there until it ends. Without one it runs on a virtual
# display: a screenshot of the window goes to build/screenshot.png, then the window is closed
# (a windowless command-line job simply runs to its end).
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
exe="$1"
shift
build="$root/build/win64"
run="$build/wine-run.sh"
source "$root/scripts/session.sh"

if [ -n "${DISPLAY:-}" ]; then
    "$run" "$exe" "$@"
    code=$?
    echo "Nimbrel ended; Wine passes on only the low 8 bits of its exit code: $code (4194304 arrives as 1)"
    exit 0
fi

start_display
start_wineserver "$build"
trap 'stop_wineserver "$build"; stop_display' EXIT
"$run" "$exe" "$@" &
program=$!
shot="$root/build/screenshot.png"
for _ in $(seq 1 40); do
    sleep 0.25
    kill -0 "$program" 2>/dev/null || break
done
if kill -0 "$program" 2>/dev/null; then
    sleep 2
    import -window root "$shot" 2>/dev/null && echo "Screenshot of the window: $shot"
    # A polite close, as the window's Close button would do.
    "$run" taskkill /im Nimbrel.exe >/dev/null 2>&1
    for _ in $(seq 1 40); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.25
    done
    kill "$program" 2>/dev/null
fi
wait "$program"
code=$?
echo "Nimbrel ended; Wine passes on only the low 8 bits of its exit code: $code (4194304 arrives as 1)"
