#!/bin/sh
# Creates the Wine prefix that a build's tests run in: its own HOME, crash dialogs off.
# usage: make-wineprefix.sh <wine-run.sh> <prefix>
set -e
run="$1"
prefix="$2"
home="$(dirname "$prefix")/winehome"
mkdir -p "$home"
rm -rf "$prefix"
export WINEPREFIX="$prefix" HOME="$home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# A crash must end the process (exit code 0xC0000005), not open winedbg's dialog and hang.
"$run" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
# The virtual display has no window manager; Wine would wait two seconds for one each time a
# window with a caption closes. Windows that Wine manages itself close at once.
"$run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

touch "$prefix/.nimbrel-ready"
