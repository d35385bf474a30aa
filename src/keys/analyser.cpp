#include "keys/analyser.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The per-byte counts of a block of steps: zero pairs, repeats, bytes of 128 or more.
struct BlockCounts {
    uint64_t zeroPairs = 0;
    uint64_t repeats = 0;
    uint64_t high = 0;
};

// Counts are kept in byte-wide lanes, one add per lane per step, and summed before a lane can
// reach 256: this many steps at most between two sums.
constexpr size_t kStepsPerSum = 255;

#if defined(__SSE2__)

constexpr size_t kStep = 16;

uint64_t laneSum(__m128i lanes) {
    __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    return uint64_t(_mm_cvtsi128_si32(sums)) + uint64_t(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

// Counts `steps` steps of 16 bytes from `bytes`, each byte against the one before it, which is
// the same bytes loaded again one place earlier.
void countSteps(const uint8_t* bytes, size_t steps, BlockCounts& counts) {
    const __m128i zero = _mm_setzero_si128();
    __m128i z = zero, r = zero, h = zero;
    for (size_t s = 0; s < steps; ++s, bytes += kStep) {
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes - 1));
        __m128i equal = _mm_cmpeq_epi8(w, before);
        __m128i isZero = _mm_cmpeq_epi8(w, zero);
        // Each mask byte is all ones, so subtracting it adds one to the lane.
        z = _mm_sub_epi8(z, _mm_and_si128(equal, isZero));
        r = _mm_sub_epi8(r, _mm_andnot_si128(isZero, equal));
        h = _mm_sub_epi8(h, _mm_cmplt_epi8(w, zero));
    }
    counts.zeroPairs += laneSum(z);
    counts.repeats += laneSum(r);
    counts.high += laneSum(h);
}

#else

constexpr size_t kStep = 8;
constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr uint64_t kLow7Bits = 0x7F7F7F7F7F7F7F7Full;

uint64_t load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// The top bit of each byte of x that is not zero (no carry crosses a byte).
uint64_t nonZeroBytes(uint64_t x) {
    return (((x & kLow7Bits) + kLow7Bits) | x) & kHighBits;
}

uint64_t laneSum(uint64_t lanes) {
    uint64_t pairs = (lanes & 0x00FF00FF00FF00FFull) + ((lanes >> 8) & 0x00FF00FF00FF00FFull);
    return (pairs * 0x0001000100010001ull) >> 48;
}

// The same counts eight bytes a step in plain 64-bit words, for targets without SSE2.
void countSteps(const uint8_t* bytes, size_t steps, BlockCounts& counts) {
    uint64_t z = 0, r = 0, h = 0;
    for (size_t s = 0; s < steps; ++s, bytes += kStep) {
        uint64_t w = load8(bytes);
        uint64_t equal = ~nonZeroBytes(w ^ load8(bytes - 1)) & kHighBits;
        uint64_t nonZero = nonZeroBytes(w);
        z += (equal & ~nonZero) >> 7;
        r += (equal & nonZero) >> 7;
        h += (w & kHighBits) >> 7;
    }
    counts.zeroPairs += laneSum(z);
    counts.repeats += laneSum(r);
    counts.high += laneSum(h);
}

#endif

} // namespace

KeyStats freshKeyStats() {
    KeyStats stats{};
    stats.previous = 1;
    return stats;
}

void scanKeyBytes(KeyStats& stats, const uint8_t* bytes, size_t count) {
    if (count == 0) {
        return;
    }
    uint32_t z = stats.zeroPairs;
    uint32_t r = stats.repeats;
    uint32_t high = 0; // bytes of 128 or more; every count wraps in 32 bits like B does

    // One byte against the one before it, by the rules: a zero pair, or else a repeat.
    auto countOne = [&](uint8_t previous, uint8_t v) {
        if (v == previous) {
            if (v == 0) {
                ++z;
            } else {
                ++r;
            }
        }
        high += v >> 7;
    };
    countOne(stats.previous, bytes[0]);

    // Key files run to gigabytes, so the pass takes a wide step at a time.
    size_t i = 1;
    BlockCounts block;
    while (count - i >= kStep) {
        size_t steps = (count - i) / kStep;
        if (steps > kStepsPerSum) {
            steps = kStepsPerSum;
        }
        countSteps(bytes + i, steps, block);
        i += steps * kStep;
    }
    z += uint32_t(block.zeroPairs);
    r += uint32_t(block.repeats);
    high += uint32_t(block.high);
    for (; i < count; ++i) {
        countOne(bytes[i - 1], bytes[i]);
    }

    stats.zeroPairs = z;
    stats.repeats = r;
    // B rises by one for each high byte and falls by one for each other: high - (count - high).
    uint32_t balance = uint32_t(stats.balance) + 2u * high - uint32_t(count);
    stats.balance = int32_t(balance);
    stats.previous = bytes[count - 1];
}

bool scanKeyFile(KeyStats& stats, uint32_t size, uint32_t chunkSize, uint8_t* buffer, KeyFileRead read,
                 void* context) {
    if (chunkSize == 0) {
        return size == 0;
    }
    uint32_t remaining = size;
    while (remaining != 0) {
        uint32_t chunk = remaining < chunkSize ? remaining : chunkSize;
        // The file is locked while it is read, so a short read means the medium failed; rating
        // bytes that never arrived would rate the buffer, not the file.
        if (read(context, buffer, chunk) != int64_t(chunk)) {
            return false;
        }
        scanKeyBytes(stats, buffer, chunk);
        remaining -= chunk;
    }
    return true;
}

uint32_t sizeGrade(uint32_t keySize, uint32_t inputSize) {
    if (inputSize < keySize) {
        return 160;
    }
    if (keySize >= (inputSize >> 2)) {
        return 150;
    }
    if (keySize >= (inputSize >> 4)) {
        return 100;
    }
    return 50;
}

uint32_t applyKeyTest(uint32_t score, uint32_t limit, uint32_t count, uint32_t cap) {
    if (count < limit) {
        if (count >= (limit >> 1)) {
            return score + 20;
        }
        if (count >= (limit >> 2)) {
            return score + 30;
        }
        return score + 40;
    }
    uint32_t penalty = (count - limit) >> 6;
    if (penalty > cap) {
        penalty = cap;
    }
    if (penalty > score) {
        penalty = score;
    }
    return score - penalty;
}

uint32_t balanceMagnitude(int32_t balance) {
    uint32_t magnitude = uint32_t(balance);
    if (magnitude > 0x40000000u) {
        magnitude = 0u - magnitude;
    }
    return magnitude;
}

uint32_t keyScore(const KeyStats& stats, uint32_t keySize, uint32_t inputSize) {
    uint32_t score = sizeGrade(keySize, inputSize);
    score = applyKeyTest(score, keySize >> 10, stats.zeroPairs, 40);
    score = applyKeyTest(score, keySize >> 8, stats.repeats, 30);
    score = applyKeyTest(score, keySize >> 8, balanceMagnitude(stats.balance), 30);
    return score;
}

KeyVerdict verdictFor(uint32_t score) {
    if (score < 70) {
        return VerdictVeryBad;
    }
    if (score < 105) {
        return VerdictBad;
    }
    if (score < 145) {
        return VerdictOk;
    }
    if (score < 200) {
        return VerdictGood;
    }
    return VerdictExcellent;
}

const char* verdictText(KeyVerdict verdict) {
    switch (verdict) {
    case VerdictVeryBad:
        return kVeryBadKeyFileText;
    case VerdictBad:
        return kBadKeyFileText;
    case VerdictOk:
        return kOkKeyFileText;
    case VerdictGood:
        return kGoodKeyFileText;
    case VerdictExcellent:
        return kExcellentKeyFileText;
    }
    return kVeryBadKeyFileText;
}

namespace {

// The reads of a scan, noting the key's first byte on the way.
struct FirstByte {
    KeyFileRead read;
    void* context;
    bool seen;
    uint8_t value;
};

int64_t readNoting(void* context, uint8_t* buffer, uint32_t count) {
    auto& f = *static_cast<FirstByte*>(context);
    const int64_t got = f.read(f.context, buffer, count);
    if (!f.seen && got > 0) {
        f.seen = true;
        f.value = buffer[0];
    }
    return got;
}

} // namespace

KeyAnalysis analyseKeyStream(uint32_t keySize, uint32_t inputSize, uint32_t chunkSize, uint8_t* buffer,
                             KeyFileRead read, void* context) {
    KeyAnalysis analysis{};
    analysis.stats = freshKeyStats();
    analysis.verdict = VerdictVeryBad;
    // An empty key file cannot serve as a key at all; it is reported like one that will not open.
    if (keySize == 0) {
        analysis.outcome = AnalyseOutcome::EmptyFile;
        analysis.text = kCannotOpenKeyFileText;
        return analysis;
    }
    FirstByte first{read, context, false, 0};
    if (!scanKeyFile(analysis.stats, keySize, chunkSize, buffer, readNoting, &first)) {
        analysis.outcome = AnalyseOutcome::ReadFailed;
        analysis.text = kCannotOpenKeyFileText;
        return analysis;
    }
    analysis.outcome = AnalyseOutcome::Rated;
    analysis.score = keyScore(analysis.stats, keySize, inputSize);
    analysis.verdict = verdictFor(analysis.score);
    // Each penalty of the score is capped, so a key of one byte value throughout could still rate
    // "OK": it hides nothing (zeros leave the data as it is), and is never rated above very bad.
    // Every byte after the first repeats the one before it exactly then. A single byte for a single
    // byte is the one exception: it repeats nothing.
    // (The first byte counts as a repeat when it is 1, the byte taken before it.)
    const uint64_t same = uint64_t(analysis.stats.zeroPairs) + analysis.stats.repeats;
    const bool oneValue = same == uint64_t(keySize) - 1 + (first.value == 1 ? 1 : 0);
    if (oneValue && (keySize > 1 || inputSize > 1)) {
        analysis.verdict = VerdictVeryBad;
    }
    analysis.text = verdictText(analysis.verdict);
    return analysis;
}
