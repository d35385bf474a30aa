#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the three builds, runs the native tests
# (sanitizers, fuzzers) and the win64 tests under wine64 on a virtual display, and checks
# that the 32-bit product links. Where this machine can run 32-bit code, the end-to-end and
# Win32 tests also run against the 32-bit build. The last line counts the tests that passed
# and failed. NIMBREL_NO_32BIT=1 runs the suite as on a machine without 32-bit code.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh || { echo "0 passed, 1 failed (package installation)"; exit 1; }

jobs=$(nproc)
build_failures=0
build() {
    echo "== build $1"
    if ! cmake --preset "$1" >/dev/null || ! cmake --build --preset "$1" -j "$jobs"; then
        echo "!! build $1 FAILED"
        build_failures=$((build_failures + 1))
        return 1
    fi
}
build native; native_built=$?
build win64; win64_built=$?
build win32; win32_built=$?

source scripts/session.sh
start_display
start_wineserver "$root/build/win64"
trap 'stop_wineserver "$root/build/win64"; stop_display' EXIT

passed=0
failed=0
# run_ctest <tier> <preset> [ctest arguments]: adds the tier's counts to the totals.
run_ctest() {
    local log="$root/build/ctest-$1.log"
    echo "== tests $1"
    ctest --preset "$2" "${@:3}" 2>&1 | tee "$log"
    local line
    line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" | tail -n 1)
    if [ -z "$line" ]; then
        failed=$((failed + 1))
        return
    fi
    local nfail total
    nfail=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
    passed=$((passed + total - nfail))
    failed=$((failed + nfail))
    tier_total=$total
}
[ "$native_built" -eq 0 ] && run_ctest native native
[ "$win64_built" -eq 0 ] && run_ctest win64 win64 -E '^win32\.'

if [ "$win32_built" -ne 0 ]; then
    tier32="NOT linked"
elif ! scripts/can-run-32bit.sh; then
    tier32="linked only; this machine cannot run 32-bit code"
elif [ "$win64_built" -ne 0 ]; then
    tier32="not run; the win64 build failed"
elif [ ! -x /usr/lib/wine/wine ]; then
    tier32="not run; Wine's 32-bit half is not installed"
    failed=$((failed + 1))
else
    tier_total=0
    run_ctest win32 win64 -R '^win32\.'
    tier32="run, $tier_total tests"
fi

failed=$((failed + build_failures))
echo "Summary: native and win64 tests run; 32-bit product: $tier32."
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
