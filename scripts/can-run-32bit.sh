#!/bin/sh
# Exits 0 when this machine can execute 32-bit x86 code, 1 when it cannot. Some kernels have
# IA32 emulation switched off even though /proc/sys/abi/vsyscall32 is there, so the only sure
# test is to run a 32-bit program. This one is written byte by byte (an ELF header, one program
# header, and "exit(42)" through int 0x80), so the test needs no 32-bit compiler or library.
# NIMBREL_NO_32BIT=1 makes the answer "cannot", to check the suite on such a machine.
[ -n "${NIMBREL_NO_32BIT:-}" ] && exit 1
[ "$(uname -m)" = x86_64 ] || [ "$(uname -m)" = i686 ] || exit 1
program=$(mktemp) || exit 1
trap 'rm -f "$program"' EXIT
{
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'
    printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000'
    printf '\270\001\000\000\000\273\052\000\000\000\315\200'
} >"$program"
chmod +x "$program"
"$program" 2>/dev/null
[ $? -eq 42 ]
