#!/usr/bin/env bash
# Times a 1 GiB XOR job of a Windows build under Wine (the windowless run, with a key string and
# with a 1 GiB key file) against its floor, the plain copy (plain_copy.exe: the same file calls
# and chunks under the same Wine, no XOR), and against cp and dd bs=25000000 of the same file:
# warm page cache, runs alternating, medians and ranges. Each run with the key file finds no
# key-use ledger (a first use); the same data again, which the ledger knows, is a row of its own.
# usage: bench/job_vs_cp.sh [rounds] [win64|win32]   (default 5 rounds of the win64 build;
# needs about 6 GiB of free disk). The 32-bit program, the one that ships, runs only where
# this machine can run 32-bit code; it runs in the win64 build's prefix.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-5}"
kind="${2:-win64}"
build="$root/build/win64"
exe="$root/build/$kind/bin/Nimbrel.exe"
copy="$root/build/$kind/bin/plain_copy.exe"
[ -x "$build/wine-run.sh" ] && [ -f "$exe" ] && [ -f "$copy" ] ||
    { echo "build the win64 and $kind presets first (scripts/test.sh)"; exit 1; }
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

ledger="$(dirname "$exe")/KeyLedger.txt"
declare -a cp_t dd_t copy_t file_t again_t string_t
for ((i = 0; i < rounds; i++)); do
    settle
    cp_t+=("$(seconds cp "$data/input.bin" "$data/out/cp.bin")")
    settle
    dd_t+=("$(seconds dd if="$data/input.bin" of="$data/out/dd.bin" bs=25000000)")
    settle
    copy_t+=("$(seconds "$build/wine-run.sh" "$copy" "$(win "$data/input.bin")" "$(win "$data/out/copy.bin")")")
    settle
    rm -f "$ledger"
    file_t+=("$(seconds "$build/wine-run.sh" "$exe" "/i=$(win "$data/input.bin")" "/o=$(win "$data/out")" \
        "/f=$(win "$data/key.bin")")")
    settle
    again_t+=("$(seconds "$build/wine-run.sh" "$exe" "/i=$(win "$data/input.bin")" "/o=$(win "$data/out")" \
        "/f=$(win "$data/key.bin")")")
    settle
    string_t+=("$(seconds "$build/wine-run.sh" "$exe" "/i=$(win "$data/input.bin")" "/o=$(win "$data/out")" \
        "/s=HarbinLockworks")")
done
rm -f "$data/out/"* "$ledger"

m_copy=$(median "${copy_t[@]}")
printf 'median (range) of %d rounds, 1 GiB, warm cache, %s Nimbrel.exe; x: against the plain copy\n' \
    "$rounds" "$kind"
row cp "$m_copy" "${cp_t[@]}"
row "dd bs=25000000" "$m_copy" "${dd_t[@]}"
row "plain copy under Wine" "" "${copy_t[@]}"
row "Nimbrel, key string (goal 1.1)" "$m_copy" "${string_t[@]}"
row "Nimbrel, key file (goal 1.5)" "$m_copy" "${file_t[@]}"
row "  the same data again" "$m_copy" "${again_t[@]}"
