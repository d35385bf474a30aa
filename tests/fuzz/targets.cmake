# Every fuzz target: tests/fuzz/fuzz_<name>.cpp with seeds in tests/fuzz/seeds/<name>/.
set(NIMBREL_FUZZ_TARGETS header xorpass arguments keyring analyser ledger)
