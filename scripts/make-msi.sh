#!/bin/sh
# Builds the installer Nimbrel-<version>-<kind>.msi from resources/nimbrel.wxs with wixl
# (Debian's msitools). The same files give the same bytes: wixl's own clock and its random
# package code are the only things that vary between two runs, so it runs at the commit's time
# (faketime, SOURCE_DATE_EPOCH) and the package code is made from what goes in, as the
# product code is made from the version and the kind. A new version is a new product that
# replaces the older one in place (the upgrade code never changes).
# usage: make-msi.sh <win32|win64> <version x.y.z> <folder with Nimbrel.exe, nimbrel-cli.exe and
#                    ReadMe.htm> <output.msi>
set -eu
kind=$1 version=$2 files=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
resources=$(dirname "$here")/resources
case $kind in
win32) arch=x86 template="Intel;1033" ;;
win64) arch=x64 template="x64;1033" ;;
*)
    echo "make-msi.sh: the kind is win32 or win64, not $kind" >&2
    exit 64
    ;;
esac
epoch=${SOURCE_DATE_EPOCH:-0}
description="Nimbrel $version, a file encrypter"

# guid <text>: a GUID in the installer's form, made from the text's SHA-256.
guid() {
    printf '%s' "$1" | sha256sum | tr 'a-f' 'A-F' |
        sed -E 's/^(.{8})(.{4})(.{4})(.{4})(.{12}).*/{\1-\2-\3-\4-\5}/'
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in Nimbrel.exe nimbrel-cli.exe ReadMe.htm; do
    cp "$files/$f" "$work/$f"
done
# An empty DefSet.txt beside the program: the installed mode.
: >"$work/DefSet.txt"
cp "$resources/program.ico" "$work/program.ico"
chmod 0644 "$work"/*
touch -d "@$epoch" "$work"/*

product_code=$(guid "Nimbrel product $kind $version")
package_code=$(guid "Nimbrel package $kind $version $(cd "$work" && cat ./* "$resources/nimbrel.wxs" | sha256sum)")
rm -f "$out"
(cd "$work" && TZ=UTC faketime -f "$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" \
    wixl -a "$arch" -D "Version=$version" -D "ProductCode=$product_code" -D "Kind=$kind" \
    -D "Description=$description" -o "$work/out.msi" "$resources/nimbrel.wxs")
# wixl 0.101 stores the root HKMU (HKLM for a machine, HKCU for a user) as 4, which Windows
# Installer does not know and passes over; its number is -1.
msibuild "$work/out.msi" -q 'UPDATE `Registry` SET `Root` = -1 WHERE `Root` = 4'
msibuild "$work/out.msi" -s "$description" "Vostra Computing" "$template" "$package_code"
mv "$work/out.msi" "$out"
