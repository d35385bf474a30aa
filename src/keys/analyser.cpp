#include "keys/analyser.h"

#include <cstring>

namespace {

constexpr uint64_t kLowBits = 0x0101010101010101ull;
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

// How many bytes of m have their top bit set, m holding nothing but top bits.
uint32_t countTopBits(uint64_t m) {
    return uint32_t(((m >> 7) * kLowBits) >> 56);
}

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

    // Key files run to gigabytes, so the pass takes eight bytes a step: each byte is compared
    // with the one before it by loading the same bytes again one place earlier.
    size_t i = 1;
    for (; i + 8 <= count; i += 8) {
        uint64_t w = load8(bytes + i);
        uint64_t before = load8(bytes + i - 1);
        uint64_t equal = ~nonZeroBytes(w ^ before) & kHighBits;
        uint64_t nonZero = nonZeroBytes(w);
        z += countTopBits(equal & ~nonZero);
        r += countTopBits(equal & nonZero);
        high += countTopBits(w & kHighBits);
    }
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
    if (!scanKeyFile(analysis.stats, keySize, chunkSize, buffer, read, context)) {
        analysis.outcome = AnalyseOutcome::ReadFailed;
        analysis.text = kCannotOpenKeyFileText;
        return analysis;
    }
    analysis.outcome = AnalyseOutcome::Rated;
    analysis.score = keyScore(analysis.stats, keySize, inputSize);
    analysis.verdict = verdictFor(analysis.score);
    analysis.text = verdictText(analysis.verdict);
    return analysis;
}
