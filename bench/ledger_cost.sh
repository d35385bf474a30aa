#!/usr/bin/env bash
# What the key-use ledger costs a 1 GiB job with a 1 GiB key file (a pad), the console tool's
# `xor` on a warm page cache, in alternating rounds: without a ledger (a data folder where none can
# be kept: without HOME the tool would find the user's own folder), a first use (a line held before the job, the output fingerprinted by the
# job's writer thread, the line completed before the output is named), and the same data again
# (the ledger knows the key and a use of that length: the job's own output tells the same data
# from other data, with nothing read ahead).
# NIMBREL_BENCH_DATA=/dev/shm/... takes the disk out of the figures.
# usage: bench/ledger_cost.sh [rounds]   (default 9; needs the native build and about 4 GiB of disk)
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-9}"
tool="$root/build/native/console/nimbrel"
[ -x "$tool" ] || { echo "build the native preset first"; exit 1; }

source "$root/bench/timing.sh"

ledger_home="$data/ledger-home"
run() { # with|without
    if [ "$1" = without ]; then
        XDG_DATA_HOME=/proc/nimbrel-no-ledger "$tool" xor "$data/input.bin" --key-file "$data/key.bin" -o "$data/out" --quiet
    else
        XDG_DATA_HOME="$ledger_home" "$tool" xor "$data/input.bin" --key-file "$data/key.bin" -o "$data/out" --quiet
    fi
}
declare -a none_t first_t again_t
for ((i = 0; i < rounds; i++)); do
    settle
    none_t+=("$(seconds run without)")
    rm -rf "$ledger_home"
    settle
    first_t+=("$(seconds run with)")
    settle
    again_t+=("$(seconds run with)")
done
rm -rf "$data/out/"* "$ledger_home"

m_none=$(median "${none_t[@]}")
printf 'median (range) of %d rounds, 1 GiB with a 1 GiB key file, warm cache, nimbrel xor; x: against no ledger\n' "$rounds"
row "no ledger" "" "${none_t[@]}"
row "ledger, first use (goal: within noise)" "$m_none" "${first_t[@]}"
row "ledger, the same data again" "$m_none" "${again_t[@]}"
