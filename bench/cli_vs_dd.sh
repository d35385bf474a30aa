#!/usr/bin/env bash
# Times the console tool's 1 GiB `xor` against its floor, the plain copy (plain_copy: the tool's
# own file calls and chunks, no XOR), and against dd bs=25000000 of the same file, in one run:
# with a 45-byte key string, and with a 1 GiB key file (which reads twice the data). Warm
# page cache, runs alternating, medians and ranges. The key file is timed twice: with the key
# verdict, which tests a sample of the key file before the job, and with --quiet, which does not.
# The tool flushes its output to the disk before it names it, so the copy does and dd flushes too
# (conv=fsync): all are timed until the file would survive a power cut. Each run with the key file
# finds no key-use ledger (a first use); the same data again, which the ledger knows, is a row of
# its own.
# usage: bench/cli_vs_dd.sh [rounds]   (default 5; needs the native build and about 4 GiB of disk)
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-5}"
tool="$root/build/native/console/nimbrel"
copy="$root/build/native/console/plain_copy"
[ -x "$tool" ] && [ -x "$copy" ] || { echo "build the native preset first"; exit 1; }

source "$root/bench/timing.sh"

export XDG_DATA_HOME="$data/ledger-home"
declare -a dd_t copy_t string_t file_t quiet_t again_t
key45="correct horse battery staple, 45 bytes long!!"
for ((i = 0; i < rounds; i++)); do
    settle
    dd_t+=("$(seconds dd if="$data/input.bin" of="$data/out/dd.bin" bs=25000000 conv=fsync)")
    settle
    copy_t+=("$(seconds "$copy" "$data/input.bin" "$data/out/copy.bin")")
    settle
    string_t+=("$(seconds "$tool" xor "$data/input.bin" --key-string "$key45" -o "$data/out")")
    settle
    rm -rf "$XDG_DATA_HOME"
    file_t+=("$(seconds "$tool" xor "$data/input.bin" --key-file "$data/key.bin" -o "$data/out")")
    settle
    again_t+=("$(seconds "$tool" xor "$data/input.bin" --key-file "$data/key.bin" -o "$data/out")")
    settle
    rm -rf "$XDG_DATA_HOME"
    quiet_t+=("$(seconds "$tool" xor "$data/input.bin" --key-file "$data/key.bin" -o "$data/out" --quiet)")
done
rm -rf "$data/out/"* "$XDG_DATA_HOME"

m_copy=$(median "${copy_t[@]}")
printf 'median (range) of %d rounds, 1 GiB, warm cache, nimbrel xor; x: against the plain copy\n' "$rounds"
row "dd bs=25000000 conv=fsync" "$m_copy" "${dd_t[@]}"
row "plain copy" "" "${copy_t[@]}"
row "nimbrel, 45-byte string (goal 1.1)" "$m_copy" "${string_t[@]}"
row "nimbrel, 1 GiB key file (goal 1.5)" "$m_copy" "${file_t[@]}"
row "  the same, --quiet" "$m_copy" "${quiet_t[@]}"
row "  the same data again" "$m_copy" "${again_t[@]}"
