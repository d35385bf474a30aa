#!/usr/bin/env bash
# Makes the downloads, side by side in build/release:
#   Nimbrel-<version>-win32.zip  the 32-bit program (any Windows), nimbrel-cli.exe and ReadMe.htm
#   Nimbrel-<version>-win32.msi  the same files as an installer (scripts/make-msi.sh)
#   Nimbrel-<version>-win64.zip  the 64-bit program, nimbrel-cli.exe and ReadMe.htm
#   Nimbrel-<version>-win64.msi  its installer
#   nimbrel_<version>_<arch>.deb the console tool and its manual page for Debian and Ubuntu,
#                                checked by scripts/check-deb.sh (lintian-clean, runs unpacked)
# then builds the commit once more in another folder and checks that every file came out the
# same, byte for byte (scripts/check-reproducible.sh; NIMBREL_NO_REBUILD=1 leaves that out), and
# prints the files' sizes and SHA-256 sums.
# Every time stamp is the commit's (SOURCE_DATE_EPOCH). With NIMBREL_SIGN_CERT and
# NIMBREL_SIGN_KEY naming a code-signing certificate and its key (PEM), the programs and the
# installers are signed and the signatures verified (scripts/pack-windows.sh).
# Installs whatever package is missing first.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    # The packing step runs again even when nothing changed: the time stamp or the signing key
    # may have.
    rm -f build/release/Nimbrel-*-"$preset".*
    cmake --build --preset "$preset" -j "$(nproc)" --target release
done
# The package is built on its own, without the tests, from an optimised build.
cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF >/dev/null
cmake --build build/deb -j "$(nproc)" --target nimbrel_cli
(cd build/deb && cpack -G DEB >cpack.log)
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' build/deb/cpack.log)
scripts/check-deb.sh "$deb"
if [ -z "${NIMBREL_NO_REBUILD:-}" ]; then
    scripts/check-reproducible.sh build/release
fi
cd build/release
ls -l Nimbrel-*.zip Nimbrel-*.msi nimbrel_*.deb
sha256sum Nimbrel-*.zip Nimbrel-*.msi nimbrel_*.deb
