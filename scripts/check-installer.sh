#!/usr/bin/env bash
# Installs, upgrades and removes an installer as on a Windows machine that never saw Nimbrel: in
# a Wine prefix made for this run alone (not the build's test prefix, where the program has
# written its association many times), driven by the end-to-end tests InstallerTest.*. The newer
# build for the upgrade is the same files packed as the next version (scripts/make-msi.sh).
# Needs a display (DISPLAY). The prefix is left in the work folder when a test fails.
# usage: check-installer.sh <installer.msi> <e2e_tests.exe> <work folder>
set -u
msi=$(realpath "$1")
tests=$(realpath "$2")
work=$3
here=$(cd "$(dirname "$0")" && pwd)
case $msi in
*-win32.msi) kind=win32 ;;
*) kind=win64 ;;
esac
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

version=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductVersion" { print $2 }')
newer_version=${version%.*}.$((${version##*.} + 1))
msiextract -C "$work/files" "$msi" >/dev/null || { echo "FAIL: $msi does not unpack"; exit 1; }
files=$(dirname "$(find "$work/files" -name Nimbrel.exe | head -n 1)")
SOURCE_DATE_EPOCH=0 "$here/make-msi.sh" "$kind" "$newer_version" "$files" "$work/newer.msi" ||
    { echo "FAIL: no newer installer"; exit 1; }

"$here/make-wineprefix.sh" "$work/prefix"
export WINEPREFIX="$work/prefix" HOME="$work/winehome" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One server for the whole run, started under the display (see session.sh).
/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
wine_path() { echo "Z:${1//\//\\}"; }
NIMBREL_MSI=$(wine_path "$msi") NIMBREL_MSI_NEWER=$(wine_path "$work/newer.msi") NIMBREL_MSI_VERSION=$version \
    NIMBREL_MSI_NEWER_VERSION=$newer_version \
    /usr/lib/wine/wine64 "$tests" --gtest_filter='InstallerTest.*' </dev/null >"$work/tests.log" 2>&1
code=$?
cat "$work/tests.log"
for _ in 1 2; do
    /usr/lib/wine/wineserver64 -k 2>/dev/null
    /usr/lib/wine/wineserver64 -w 2>/dev/null
done
if [ "$code" -eq 0 ]; then
    rm -rf "$work"
fi
exit "$code"
