#!/bin/sh
# Maps a 30 MB tmpfs to drive T: of a build's Wine prefix, so that a test can fill a disk for
# real. Where mounting is not allowed the drive is simply absent and that test skips.
# usage: fulldisk.sh <build-dir> mount|unmount
build="$1"
point="$build/fulldisk"
link="$build/wineprefix/dosdevices/t:"
case "$2" in
mount)
    mkdir -p "$point"
    mountpoint -q "$point" || mount -t tmpfs -o size=30m nimbrel-fulldisk "$point" 2>/dev/null || exit 0
    rm -f "$link"
    ln -s "$point" "$link"
    ;;
unmount)
    rm -f "$link"
    mountpoint -q "$point" && umount "$point"
    ;;
esac
exit 0
