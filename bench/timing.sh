# Shared by the 1 GiB job benchmarks: the data, the timer and the statistics.
# Sourced with `root` set; leaves `data` (the folder of input.bin and key.bin, with out/ beside).

data="$root/build/bench-data"
mkdir -p "$data/out"
size=$((1024 * 1024 * 1024))
[ "$(stat -c %s "$data/input.bin" 2>/dev/null)" = "$size" ] || head -c "$size" /dev/urandom > "$data/input.bin"
[ "$(stat -c %s "$data/key.bin" 2>/dev/null)" = "$size" ] || head -c "$size" /dev/urandom > "$data/key.bin"
cat "$data/input.bin" "$data/key.bin" > /dev/null # warm the page cache

seconds() { # runs a command, prints its wall time in seconds
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'
}
# Each run starts with no dirty pages of the run before it waiting to be written back.
settle() {
    rm -f "$data/out/"*
    sync
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
