#!/usr/bin/env bash
# Times a 1 GiB XOR job of a Windows build under Wine against cp and against
# dd bs=25000000 of the same file: warm page cache, runs alternating, median of each.
# usage: bench/job_vs_cp.sh [rounds] [win64|win32]   (default 5 rounds of the win64 build;
# needs about 6 GiB of free disk). The 32-bit program, the one that ships, runs only where
# this machine can run 32-bit code; it runs in the win64 build's prefix.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-5}"
kind="${2:-win64}"
build="$root/build/win64"
exe="$root/build/$kind/bin/Nimbrel.exe"
[ -x "$build/wine-run.sh" ] && [ -f "$exe" ] || { echo "build the win64 and $kind presets first (scripts/test.sh)"; exit 1; }
if [ "$kind" = win32 ] && ! "$root/scripts/can-run-32bit.sh"; then
    echo "this machine cannot run 32-bit code: the win32 program cannot be measured here"
    exit 1
fi
source "$root/scripts/session.sh"

source "$root/bench/timing.sh"

win() { echo "Z:${1//\//\\}"; }
start_wineserver "$build"
trap 'stop_wineserver "$build"' EXIT
# One unmeasured run warms Wine itself.
"$build/wine-run.sh" "$exe" "/i=$(win "$data/input.bin")" "/o=$(win "$data/out")" "/s=warm" >/dev/null 2>&1

declare -a cp_t dd_t file_t string_t
for ((i = 0; i < rounds; i++)); do
    settle
    cp_t+=("$(seconds cp "$data/input.bin" "$data/out/cp.bin")")
    settle
    dd_t+=("$(seconds dd if="$data/input.bin" of="$data/out/dd.bin" bs=25000000)")
    settle
    file_t+=("$(seconds "$build/wine-run.sh" "$exe" "/i=$(win "$data/input.bin")" "/o=$(win "$data/out")" \
        "/f=$(win "$data/key.bin")")")
    settle
    string_t+=("$(seconds "$build/wine-run.sh" "$exe" "/i=$(win "$data/input.bin")" "/o=$(win "$data/out")" \
        "/s=HarbinLockworks")")
done
rm -f "$data/out/"*

m_cp=$(median "${cp_t[@]}")
m_dd=$(median "${dd_t[@]}")
m_file=$(median "${file_t[@]}")
m_string=$(median "${string_t[@]}")
printf 'median of %d rounds, 1 GiB, warm cache, %s Nimbrel.exe\n' "$rounds" "$kind"
printf '  cp                         %6.2f s\n' "$m_cp"
printf '  dd bs=25000000             %6.2f s   (%.2f x cp)\n' "$m_dd" "$(ratio "$m_dd" "$m_cp")"
printf '  Nimbrel, key file          %6.2f s   (%.2f x cp, %.2f x dd)\n' "$m_file" "$(ratio "$m_file" "$m_cp")" \
    "$(ratio "$m_file" "$m_dd")"
printf '  Nimbrel, key string        %6.2f s   (%.2f x cp, %.2f x dd)\n' "$m_string" "$(ratio "$m_string" "$m_cp")" \
    "$(ratio "$m_string" "$m_dd")"
