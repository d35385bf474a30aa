#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the three builds, runs the native tests
# (sanitizers, fuzzers) and the win64 tests under wine64 on a virtual display, and checks
# that the 32-bit product links. The last line counts the tests that passed and failed.
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
build win32

source scripts/session.sh
start_display
start_wineserver "$root/build/win64"
trap 'stop_wineserver "$root/build/win64"; stop_display' EXIT

passed=0
failed=0
run_ctest() {
    local log="$root/build/ctest-$1.log"
    echo "== tests $1"
    ctest --preset "$1" 2>&1 | tee "$log"
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
}
[ "$native_built" -eq 0 ] && run_ctest native
[ "$win64_built" -eq 0 ] && run_ctest win64

failed=$((failed + build_failures))
echo "Summary: native and win64 tests run, 32-bit product $( [ "$build_failures" -eq 0 ] && echo linked || echo 'NOT linked')."
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
