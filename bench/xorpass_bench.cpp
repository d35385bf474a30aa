// The in-memory XOR pass against memcpy of the same buffer size, and the key-use ledger's
// fingerprint over as much.
//
// The pass reads and writes through callbacks that do no copying here (the data already sits
// in the work buffer), so what is measured is the XOR work and its bookkeeping alone.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/xorpass.h"
#include "keys/fingerprint.h"

namespace {

int64_t readInPlace(void*, uint8_t*, uint32_t count) {
    return count;
}
int64_t readNothing(void*, uint8_t*, uint32_t) {
    return 0;
}
bool writeNowhere(void*, const uint8_t* buffer, uint32_t) {
    benchmark::DoNotOptimize(buffer);
    return true;
}

std::vector<uint8_t> filled(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = uint8_t(seed + i * 131);
    }
    return v;
}

void BM_Memcpy(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::vector<uint8_t> src = filled(n, 1), dst(n);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void runPass(benchmark::State& state, bool keyIsFile, uint32_t keyLength) {
    const uint32_t n = uint32_t(state.range(0));
    std::vector<uint8_t> data = filled(kWorkBufferSize, 3);
    std::vector<uint8_t> key = filled(kWorkBufferSize, 9);
    XorStreams io{nullptr, readInPlace, readNothing, writeNowhere, nullptr};
    XorPassSetup setup{};
    setup.data = data.data();
    setup.key = key.data();
    setup.chunkSize = kChunkSize;
    setup.payloadLength = n;
    setup.keyIsFile = keyIsFile;
    setup.keyBytes = keyLength;
    firstKeyChunk(keyLength, kChunkSize, setup.keyChunkLength, setup.keyChunkCount);
    for (auto _ : state) {
        runXorPass(setup, io);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_XorPass_KeyFileAsLongAsData(benchmark::State& state) {
    runPass(state, true, uint32_t(state.range(0)));
}
void BM_XorPass_DefaultStringKey45(benchmark::State& state) {
    runPass(state, false, 45);
}
void BM_XorPass_StringKey32(benchmark::State& state) {
    runPass(state, false, 32);
}
void BM_XorPass_KeyFile7(benchmark::State& state) {
    runPass(state, true, 7);
}
void BM_XorPass_KeyFile100000(benchmark::State& state) {
    runPass(state, true, 100000);
}

// The key-use ledger's fingerprint, which a pad's job takes of every chunk it reads and writes.
void BM_Fingerprint(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::vector<uint8_t> data = filled(n, 5);
    for (auto _ : state) {
        Fingerprint print;
        startFingerprint(print);
        feedFingerprint(print, data.data(), n);
        benchmark::DoNotOptimize(finishFingerprint(print));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

} // namespace

BENCHMARK(BM_Fingerprint)->Arg(kChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Arg(kChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XorPass_KeyFileAsLongAsData)->Arg(kChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XorPass_DefaultStringKey45)->Arg(kChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XorPass_StringKey32)->Arg(kChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XorPass_KeyFile7)->Arg(kChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XorPass_KeyFile100000)->Arg(kChunkSize)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
