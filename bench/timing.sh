# Shared by the 1 GiB job benchmarks: the data, the timer and the statistics.
# Sourced with `root` set; leaves `data` (the folder of input.bin and key.bin, with out/ beside).
# NIMBREL_BENCH_DATA names another folder for them, for example one on a tmpfs.

data="${NIMBREL_BENCH_DATA:-$root/build/bench-data}"
mkdir -p "$data/out"
size=$((1024 * 1024 * 1024))
[ "$(stat -c %s "$data/input.bin" 2>/dev/null)" = "$size" ] || head -c "$size" /dev/urandom > "$data/input.bin"
[ "$(stat -c %s "$data/key.bin" 2>/dev/null)" = "$size" ] || head -c "$size" /dev/urandom > "$data/key.bin"
cat "$data/input.bin" "$data/key.bin" > /dev/null # warm the page cache

seconds() { # runs a command, prints its wall time in seconds; a failed run ends the benchmark
    local t0 t1
    t0=$(date +%s.%N)
    # A refused job ends early: timed, it would pass for a fast one.
    "$@" >/dev/null 2>&1 || {
        echo "failed: $*" >&2
        kill -TERM $$
        exit 1
    }
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
# One line of a table: the median of the times, their range, and against a floor's median (if given).
row() { # label floor-median time...
    local label="$1" floor="$2" m
    shift 2
    m=$(median "$@")
    printf '  %-36s %6.2f s  (%.2f to %.2f)' "$label" "$m" "$(printf '%s\n' "$@" | sort -g | head -1)" \
        "$(printf '%s\n' "$@" | sort -g | tail -1)"
    [ -z "$floor" ] || printf '  %.2f x' "$(ratio "$m" "$floor")"
    printf '\n'
}
