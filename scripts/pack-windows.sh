#!/bin/sh
# Makes one Windows build's downloads in the release folder: Nimbrel-<version>-<kind>.zip (the
# program, the console tool and the guide, for any folder or USB stick) and
# Nimbrel-<version>-<kind>.msi (the installer, scripts/make-msi.sh).
#
# The same sources give the same bytes, whatever the folder and the day: every time stamp is
# the commit's (SOURCE_DATE_EPOCH, else the time of the commit checked out, else 0), the zip
# holds no owner, access or change time (zip -X) and lists its files in a fixed order.
#
# With a code-signing certificate and its key, in PEM files named by NIMBREL_SIGN_CERT and
# NIMBREL_SIGN_KEY, both programs and the installer are signed (osslsigncode) and the
# signatures verified; without them everything stays unsigned.
#
# usage: pack-windows.sh <win32|win64> <version x.y.z> <strip> <Nimbrel.exe> <nimbrel-cli.exe>
#                        <stage folder> <release folder>
set -eu
kind=$1 version=$2 strip=$3 program=$4 tool=$5 stage=$6
release=$(mkdir -p "$7" && cd "$7" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
short_version=${version%.*}

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH

signing=""
if [ -n "${NIMBREL_SIGN_CERT:-}" ] || [ -n "${NIMBREL_SIGN_KEY:-}" ]; then
    if [ ! -r "${NIMBREL_SIGN_CERT:-}" ] || [ ! -r "${NIMBREL_SIGN_KEY:-}" ]; then
        echo "pack-windows.sh: NIMBREL_SIGN_CERT and NIMBREL_SIGN_KEY must both name readable PEM files" >&2
        exit 1
    fi
    signing=yes
fi
# sign <file>: signs in place with the commit's time as signing time, then verifies.
sign() {
    osslsigncode sign -certs "$NIMBREL_SIGN_CERT" -key "$NIMBREL_SIGN_KEY" -h sha256 \
        -n "Nimbrel" -i "https://www.vostra-computing.example/" -time "$SOURCE_DATE_EPOCH" \
        -in "$1" -out "$1.signed" >/dev/null
    mv "$1.signed" "$1"
    osslsigncode verify -CAfile "$NIMBREL_SIGN_CERT" -in "$1" >"$1.verify" 2>&1 || {
        cat "$1.verify" >&2
        echo "pack-windows.sh: the signature of $1 does not verify" >&2
        exit 1
    }
    rm -f "$1.verify"
}

rm -rf "$stage"
mkdir -p "$stage"
# strip writes a link time into the PE header (the current time, or SOURCE_DATE_EPOCH when set);
# 0 keeps it as empty as the linker left it, so a program's bytes do not depend on the commit.
SOURCE_DATE_EPOCH=0 "$strip" -o "$stage/Nimbrel.exe" "$program"
SOURCE_DATE_EPOCH=0 "$strip" -o "$stage/nimbrel-cli.exe" "$tool"
cp "$source_dir/resources/ReadMe.htm" "$stage/ReadMe.htm"
if [ -n "$signing" ]; then
    sign "$stage/Nimbrel.exe"
    sign "$stage/nimbrel-cli.exe"
fi
chmod 0644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*

zip="$release/Nimbrel-$short_version-$kind.zip"
rm -f "$zip"
(cd "$stage" && TZ=UTC zip -X -D -q -9 "$zip.part" Nimbrel.exe nimbrel-cli.exe ReadMe.htm)
mv "$zip.part" "$zip"

msi="$release/Nimbrel-$short_version-$kind.msi"
"$here/make-msi.sh" "$kind" "$version" "$stage" "$msi.part"
if [ -n "$signing" ]; then
    sign "$msi.part"
fi
mv "$msi.part" "$msi"
