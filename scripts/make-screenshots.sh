#!/usr/bin/env bash
# Renews the pictures of the window in docs/: the main window at 96 and 192 DPI and a message at
# 192 DPI, as Wine draws them in a virtual desktop (so that the window has its frame). Runs the
# win64 build's program in a copy of its prefix, so the tests' prefix keeps its DPI.
# usage: scripts/make-screenshots.sh   (after cmake --build --preset win64)
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/win64"
work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true; kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cp -a "$build/wineprefix" "$work/prefix"
export WINEPREFIX="$work/prefix" HOME="$build/winehome" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work/prefix/drive_c/Reports"
printf 'Quarterly figures\n' >"$work/prefix/drive_c/Reports/report.txt"
printf 'not a container' >"$work/prefix/drive_c/Reports/old.qdx"
files='C:\Reports'
# A container, for the window that decrypts.
DISPLAY= /usr/lib/wine/wine64 "$build/bin/nimbrel-cli.exe" encrypt "$files\\report.txt" --key-string k \
    --description "Q3 figures" --quiet >/dev/null 2>&1

# shot NAME DPI WIDTHxHEIGHT ARGUMENT
shot() {
    local name=$1 dpi=$2 size=$3 argument=$4 n=140
    while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    local xvfb=$!
    sleep 1
    export DISPLAY=":$n"
    /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    /usr/lib/wine/wineserver64 -w 2>/dev/null || true
    /usr/lib/wine/wine64 explorer /desktop=shot,"$size" "$build/bin/Nimbrel.exe" "$argument" >/dev/null 2>&1 &
    sleep 8
    import -window root "$root/docs/$name" && echo "docs/$name"
    /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
}

shot window-96dpi.png 96 1000x700 "$files\\report.txt"
shot window-192dpi.png 192 1500x1150 "$files\\report.qdx"
shot message-192dpi.png 192 1500x1150 "$files\\old.qdx"
