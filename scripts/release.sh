#!/usr/bin/env bash
# Makes the downloads, side by side in build/release:
#   Nimbrel-<version>-win32.zip  the 32-bit program (any Windows), nimbrel-cli.exe and ReadMe.htm
#   Nimbrel-<version>-win64.zip  the 64-bit program, nimbrel-cli.exe and ReadMe.htm
#   nimbrel_<version>_<arch>.deb the console tool and its manual page for Debian and Ubuntu,
#                                checked by scripts/check-deb.sh (lintian-clean, runs unpacked)
# Installs whatever package is missing first.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" --target release
done
# The package is built on its own, without the tests, from an optimised build.
cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF >/dev/null
cmake --build build/deb -j "$(nproc)" --target nimbrel_cli
(cd build/deb && cpack -G DEB >cpack.log)
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' build/deb/cpack.log)
scripts/check-deb.sh "$deb"
cd build/release
ls -l Nimbrel-*.zip nimbrel_*.deb
sha256sum Nimbrel-*.zip nimbrel_*.deb
