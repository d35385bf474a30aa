#!/usr/bin/env bash
# Builds the program and runs it: under wine64 on Linux, with any arguments passed through.
# Without a display it runs on a virtual one, saves a screenshot (build/screenshot.png) and
# closes the window after a few seconds.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh || exit 1
cmake --preset win64 >/dev/null && cmake --build --preset win64 -j "$(nproc)" || exit 1
exe="$root/build/win64/bin/Nimbrel.exe"
if [ ! -f "$exe" ]; then
    echo "Built the portable core and the job worker; Nimbrel.exe itself does not exist yet, so nothing was run."
    exit 0
fi
exec scripts/run-program.sh "$exe" "$@"
