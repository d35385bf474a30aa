#!/bin/sh
# Creates a Wine prefix for tests: its own HOME beside it, crash dialogs off.
# usage: make-wineprefix.sh <prefix>
set -e
prefix="$1"
home="$(dirname "$prefix")/winehome"
mkdir -p "$home"
rm -rf "$prefix"
export WINEPREFIX="$prefix" HOME="$home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# A crash must end the process (exit code 0xC0000005), not open winedbg's dialog and hang.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
# The virtual display has no window manager; Wine would wait two seconds for one each time a
# window with a caption closes. Windows that Wine manages itself close at once.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

touch "$prefix/.nimbrel-ready"
