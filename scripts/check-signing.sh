#!/usr/bin/env bash
# Packs a build's programs as the release does when it is given a code-signing certificate, with
# a throwaway self-signed one made here: both programs and the installer must carry signatures
# that verify against it, two signed packs must be the same bytes, a pack without a certificate
# must carry none, and half a certificate must be refused before anything is written.
# usage: check-signing.sh <strip> <Nimbrel.exe> <nimbrel-cli.exe> <work folder>
set -u
strip=$1 program=$2 tool=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
rm -rf "$work"
mkdir -p "$work"
export SOURCE_DATE_EPOCH=1700000000
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Nimbrel test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 ||
    { echo "FAIL: openssl made no certificate"; exit 1; }
pack() { # pack <release folder>
    "$here/pack-windows.sh" win64 1.9.0 "$strip" "$program" "$tool" "$work/stage" "$1"
}

for i in 1 2; do
    NIMBREL_SIGN_CERT="$work/cert.pem" NIMBREL_SIGN_KEY="$work/key.pem" pack "$work/signed$i" ||
        fail "the signed pack $i failed"
done
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$work/signed1/Nimbrel-1.9-win64.zip") || fail "the signed zip does not unpack"
for file in "$work/unpacked/Nimbrel.exe" "$work/unpacked/nimbrel-cli.exe" "$work/signed1/Nimbrel-1.9-win64.msi"; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 ||
        fail "$(basename "$file") carries no signature that verifies: $(tail -n 3 "$work/verify.log")"
done
for name in Nimbrel-1.9-win64.zip Nimbrel-1.9-win64.msi; do
    cmp -s "$work/signed1/$name" "$work/signed2/$name" || fail "two signed packs give two different $name"
done

pack "$work/unsigned" || fail "the unsigned pack failed"
if osslsigncode verify -in "$work/unsigned/Nimbrel-1.9-win64.msi" >/dev/null 2>&1; then
    fail "the installer is signed without a certificate"
fi

if NIMBREL_SIGN_CERT="$work/cert.pem" pack "$work/half" 2>"$work/half.log"; then
    fail "a certificate without its key was taken"
fi
grep -q "NIMBREL_SIGN_CERT and NIMBREL_SIGN_KEY must both name readable PEM files" "$work/half.log" ||
    fail "half a certificate is not explained: $(cat "$work/half.log")"
[ -z "$(ls -A "$work/half" 2>/dev/null)" ] || fail "half a certificate still wrote $(ls "$work/half")"

if [ "$failures" -eq 0 ]; then
    echo "signing is sound"
    rm -rf "$work"
fi
[ "$failures" -eq 0 ]
