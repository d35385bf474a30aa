#!/usr/bin/env bash
# Times the console tool's 1 GiB `xor` against dd bs=25000000 of the same file, in one run:
# with a 45-byte key string, and with a 1 GiB key file (which reads twice the data). Warm
# page cache, runs alternating, medians. The key file is timed twice: with the key verdict,
# which tests a sample of the key file before the job, and with --quiet, which does not. The
# tool flushes its output to the disk before it names it, so dd flushes too (conv=fsync): both
# are timed until the file would survive a power cut.
# usage: bench/cli_vs_dd.sh [rounds]   (default 5; needs the native build and about 4 GiB of disk)
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-5}"
tool="$root/build/native/console/nimbrel"
[ -x "$tool" ] || { echo "build the native preset first"; exit 1; }

source "$root/bench/timing.sh"

declare -a dd_t string_t file_t quiet_t
key45="correct horse battery staple, 45 bytes long!!"
for ((i = 0; i < rounds; i++)); do
    settle
    dd_t+=("$(seconds dd if="$data/input.bin" of="$data/out/dd.bin" bs=25000000 conv=fsync)")
    settle
    string_t+=("$(seconds "$tool" xor "$data/input.bin" --key-string "$key45" -o "$data/out")")
    settle
    file_t+=("$(seconds "$tool" xor "$data/input.bin" --key-file "$data/key.bin" -o "$data/out")")
    settle
    quiet_t+=("$(seconds "$tool" xor "$data/input.bin" --key-file "$data/key.bin" -o "$data/out" --quiet)")
done
rm -f "$data/out/"*

m_dd=$(median "${dd_t[@]}")
m_string=$(median "${string_t[@]}")
m_file=$(median "${file_t[@]}")
m_quiet=$(median "${quiet_t[@]}")
printf 'median of %d rounds, 1 GiB, warm cache, nimbrel xor (goals: 1.1 x dd, 1.6 x dd)\n' "$rounds"
printf '  dd bs=25000000 conv=fsync  %6.2f s   (all: %s)\n' "$m_dd" "${dd_t[*]}"
printf '  nimbrel, 45-byte string    %6.2f s   %.2f x dd   (all: %s)\n' "$m_string" "$(ratio "$m_string" "$m_dd")" \
    "${string_t[*]}"
printf '  nimbrel, 1 GiB key file    %6.2f s   %.2f x dd   (all: %s)\n' "$m_file" "$(ratio "$m_file" "$m_dd")" \
    "${file_t[*]}"
printf '    the same, --quiet        %6.2f s   %.2f x dd   (all: %s)\n' "$m_quiet" "$(ratio "$m_quiet" "$m_dd")" \
    "${quiet_t[*]}"
