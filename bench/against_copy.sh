#!/usr/bin/env bash
# The job against the plain copy on both systems: the windowless run under wine64 and the console
# tool on Linux, each with a key string and a 1 GiB key file, in alternating rounds.
# usage: bench/against_copy.sh [rounds]   (default 9; the native and win64 builds)
set -u
here="$(cd "$(dirname "$0")" && pwd)"
rounds="${1:-9}"
"$here/job_vs_cp.sh" "$rounds" win64
"$here/cli_vs_dd.sh" "$rounds"
