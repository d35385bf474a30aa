#!/bin/sh
# Installs, from Debian's archive, every package that the builds and tests need.
# Does nothing when they are all present. Run as root (or with sudo available).
set -e
packages="cmake ninja-build g++ git
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
wine64 xvfb xauth imagemagick
googletest libbenchmark-dev clang libclang-rt-14-dev
chromium locales lintian
wixl msitools faketime zip osslsigncode openssl"

# Where the machine runs 32-bit code, the shipped 32-bit program is tested too: that needs
# Wine's 32-bit half, from the i386 architecture. Where it cannot, nothing is added for it.
here=$(dirname "$0")
if "$here/can-run-32bit.sh"; then
    packages="$packages wine32:i386 wine"
fi

# The tests run Wine in the users' own locales; Wine falls back silently where one is missing.
locales="ja_JP.UTF-8 zh_CN.UTF-8 ru_RU.UTF-8 de_DE.UTF-8 en_US.UTF-8"
generate_locales() {
    local wanted="" l
    for l in $locales; do
        locale -a 2>/dev/null | grep -qix "$(echo "$l" | sed 's/UTF-8/utf8/')" || wanted="$wanted $l"
    done
    [ -z "$wanted" ] && return 0
    echo "Generating locales:$wanted"
    for l in $wanted; do
        grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
    done
    $sudo locale-gen >/dev/null
}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
if [ -z "$missing" ]; then
    generate_locales
    exit 0
fi

echo "Installing missing packages:$missing"
export DEBIAN_FRONTEND=noninteractive
case "$missing" in
*:i386*)
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    ;;
esac
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
generate_locales
