#!/bin/sh
# Installs, from Debian's archive, every package that the builds and tests need.
# Does nothing when they are all present. Run as root (or with sudo available).
set -e
packages="cmake ninja-build g++ git
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
wine64 xvfb xauth imagemagick
googletest libbenchmark-dev clang libclang-rt-14-dev
chromium"

# Where the machine runs 32-bit code, the shipped 32-bit program is tested too: that needs
# Wine's 32-bit half, from the i386 architecture. Where it cannot, nothing is added for it.
here=$(dirname "$0")
if "$here/can-run-32bit.sh"; then
    packages="$packages wine32:i386 wine"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing missing packages:$missing"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
case "$missing" in
*:i386*)
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    ;;
esac
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
