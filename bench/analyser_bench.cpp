// The analyser's scan over one full work-buffer chunk, against a byte-at-a-time loop of the same
// rules, for random key material and for material full of zero runs and repeats; and the key
// verdict's tests over the most a large key's sample holds (16 MiB and 64 windows of 64 KiB).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "keys/analyser.h"
#include "keys/keyverdict.h"
#include "support/literal_scan.h"

namespace {

std::vector<uint8_t> randomBytes(size_t n) {
    std::vector<uint8_t> v(n);
    std::mt19937_64 random(7);
    for (size_t i = 0; i < n; i += 8) {
        uint64_t word = random();
        for (size_t j = 0; j < 8 && i + j < n; ++j) {
            v[i + j] = uint8_t(word >> (8 * j));
        }
    }
    return v;
}

// Runs of zeros and of one repeated byte between stretches of random bytes.
std::vector<uint8_t> patchyBytes(size_t n) {
    std::vector<uint8_t> v = randomBytes(n);
    for (size_t i = 0; i + 4096 <= n; i += 16384) {
        for (size_t j = 0; j < 2048; ++j) {
            v[i + j] = 0;
            v[i + 2048 + j] = 0x41;
        }
    }
    return v;
}

template <void (*Scan)(KeyStats&, const uint8_t*, size_t)>
void runScan(benchmark::State& state, const std::vector<uint8_t>& bytes) {
    for (auto _ : state) {
        KeyStats stats = freshKeyStats();
        Scan(stats, bytes.data(), bytes.size());
        benchmark::DoNotOptimize(stats);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_AnalyserScan_Random(benchmark::State& state) {
    runScan<scanKeyBytes>(state, randomBytes(size_t(state.range(0))));
}
void BM_AnalyserScan_Patchy(benchmark::State& state) {
    runScan<scanKeyBytes>(state, patchyBytes(size_t(state.range(0))));
}
void BM_ByteLoop_Random(benchmark::State& state) {
    runScan<literalScan>(state, randomBytes(size_t(state.range(0))));
}
void BM_ByteLoop_Patchy(benchmark::State& state) {
    runScan<literalScan>(state, patchyBytes(size_t(state.range(0))));
}

// Fed in the portions the verdict reads, at the offsets of a 1 GiB key's sample.
void BM_KeyEvidence_Sample(benchmark::State& state) {
    const std::vector<uint8_t> bytes = randomBytes(size_t(state.range(0)));
    constexpr size_t kPortion = 256 * 1024;
    for (auto _ : state) {
        KeyEvidenceGatherer gatherer;
        beginKeyEvidence(gatherer);
        for (size_t at = 0; at < bytes.size(); at += kPortion) {
            const size_t n = std::min(kPortion, bytes.size() - at);
            feedKeyEvidence(gatherer, at < (16u << 20) ? at : at * 16, bytes.data() + at, n);
        }
        benchmark::DoNotOptimize(finishKeyEvidence(gatherer));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

} // namespace

BENCHMARK(BM_KeyEvidence_Sample)->Arg((16 << 20) + 64 * 65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyserScan_Random)->Arg(kAnalyseChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyserScan_Patchy)->Arg(kAnalyseChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteLoop_Random)->Arg(kAnalyseChunkSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteLoop_Patchy)->Arg(kAnalyseChunkSize)->Unit(benchmark::kMillisecond);
