#!/usr/bin/env bash
# Makes the downloads for Windows users, side by side in build/release:
#   Nimbrel-<version>-win32.zip  the 32-bit program (any Windows) and ReadMe.htm
#   Nimbrel-<version>-win64.zip  the 64-bit program and ReadMe.htm
# Installs whatever package is missing first.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" --target release
done
cd build/release
ls -l Nimbrel-*.zip
sha256sum Nimbrel-*.zip
