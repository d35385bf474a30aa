#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "keys/keyverdict.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes random(size_t n, uint64_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed += 0x9E3779B97F4A7C15ull; // splitmix64
        uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        b[i] = uint8_t(z ^ (z >> 31));
    }
    return b;
}

Bytes repeated(const Bytes& unit, size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = unit[i % unit.size()];
    }
    return b;
}

Bytes xorWith(const Bytes& data, const Bytes& pattern) {
    Bytes out(data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        out[i] = data[i] ^ pattern[i % pattern.size()];
    }
    return out;
}

// Words drawn at random: text with no period of its own.
Bytes text(size_t n, uint64_t seed) {
    static const char* const kWords[] = {"the ",   "quick ",   "brown ",   "fox ",  "jumps ",
                                         "over ",  "a ",       "lazy ",    "dog, ", "while ",
                                         "seven ", "wizards ", "quietly ", "vex ",  "jackals. "};
    const Bytes draws = random(n, seed);
    Bytes b;
    for (size_t i = 0; b.size() < n; ++i) {
        const char* word = kWords[draws[i] % 15];
        b.insert(b.end(), word, word + std::strlen(word));
    }
    b.resize(n);
    return b;
}

// Every way a key that hides nothing can look, and keys that a careful reviewer would accept.
TEST(KeyEvidence, NamesTheStructureThatMakesAKeyNoPad) {
    Bytes halfRange = random(200000, 3);
    for (uint8_t& byte : halfRange) {
        byte &= 0x7F; // seven random bits: text-like
    }
    Bytes lateZeros = random(300000, 4);
    std::fill(lateZeros.begin() + 200000, lateZeros.end(), 0);
    // A block longer than the head the period is looked for in, then its start again: too little
    // of it twice to show in the byte frequencies.
    const Bytes block = random(kEvidenceHeadBytes + 300000, 9);
    Bytes twice = block;
    twice.insert(twice.end(), block.begin(), block.begin() + 100000);
    struct Case {
        const char* what;
        Bytes key;
        KeyEvidenceOutcome outcome;
        uint64_t detail;       // the constant byte, the period, or where a repeat was found
        uint64_t windowAt = 0; // a window sampled further on, holding the key's first 64 KiB
    } cases[] = {
        {"random", random(100000, 1), KeyEvidenceOutcome::Passed, 0},
        {"random, just long enough to test", random(kEvidenceMinimumBytes, 2), KeyEvidenceOutcome::Passed, 0},
        {"all zeros", Bytes(1000, 0), KeyEvidenceOutcome::Constant, 0},
        {"all 0xFF, short", Bytes(2, 0xFF), KeyEvidenceOutcome::Constant, 0xFF},
        {"16 random bytes repeated", repeated(random(16, 5), 100000), KeyEvidenceOutcome::Periodic, 16},
        {"a random block repeated in the head", repeated(random(300000, 6), 700000),
         KeyEvidenceOutcome::Periodic, 300000},
        {"a random block past the head, its start twice", twice, KeyEvidenceOutcome::Repeats, block.size()},
        {"a window sampled far on that repeats the start", random(300000, 10), KeyEvidenceOutcome::Repeats,
         uint64_t(40) << 20, uint64_t(40) << 20},
        {"seven random bits", halfRange, KeyEvidenceOutcome::Uneven, 0},
        {"random, then zeros", lateZeros, KeyEvidenceOutcome::Uneven, 0},
        {"random but too short to test", random(1000, 7), KeyEvidenceOutcome::TooShort, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeyEvidenceGatherer gatherer;
        beginKeyEvidence(gatherer);
        // In uneven portions, as a file is read.
        for (size_t at = 0; at < c.key.size();) {
            size_t n = std::min<size_t>(c.key.size() - at, 7777 + at % 3);
            feedKeyEvidence(gatherer, at, c.key.data() + at, n);
            at += n;
        }
        if (c.windowAt) {
            feedKeyEvidence(gatherer, c.windowAt, c.key.data(), 65536);
        }
        KeyEvidence evidence = finishKeyEvidence(gatherer);
        EXPECT_EQ(int(evidence.outcome), int(c.outcome)) << "chi-square " << evidence.chiSquare;
        EXPECT_EQ(evidence.tested, c.key.size() + (c.windowAt ? 65536 : 0));
        if (c.outcome == KeyEvidenceOutcome::Constant) {
            EXPECT_EQ(evidence.constantByte, c.detail);
        }
        if (c.outcome == KeyEvidenceOutcome::Periodic) {
            EXPECT_EQ(evidence.period, c.detail);
        }
        if (c.outcome == KeyEvidenceOutcome::Repeats) {
            EXPECT_EQ(evidence.repeatOf, 0u);
            EXPECT_EQ(evidence.repeatAt, c.detail);
        }
    }
}

// Keys that pass every test alone yet leave the data readable beside it, and keys that are
// merely unrelated to it.
TEST(KeyRelations, NamesWhatTheOutputWouldShow) {
    const Bytes data = text(70000, 13), noise = random(70000, 11), zeros(70000, 0), other = text(70000, 14);
    Bytes shiftedBack(70000), edited(data.begin() + 3, data.end());
    std::copy(noise.begin(), noise.begin() + 5, shiftedBack.begin());
    std::copy(data.begin(), data.end() - 5, shiftedBack.begin() + 5);
    edited.resize(data.size());
    for (size_t i = 0; i < edited.size(); i += 31) {
        edited[i] ^= 0x55; // a few bytes in every 31 differ
    }
    struct Case {
        const char* what;
        Bytes key;
        const Bytes* on;
        KeyRelation relation;
        int64_t detail; // the output byte, its period, or the shift
    } cases[] = {
        {"the data itself", data, &data, KeyRelation::OutputConstant, 0},
        {"the data XOR one byte", xorWith(data, {0x5A}), &data, KeyRelation::OutputConstant, 0x5A},
        {"the data XOR a 7-byte pattern", xorWith(data, random(7, 12)), &data, KeyRelation::OutputPeriodic,
         7},
        {"the data shifted by 3", Bytes(data.begin() + 3, data.end()), &data, KeyRelation::DataShifted, 3},
        {"the data shifted by 3, a few bytes edited", edited, &data, KeyRelation::DataShifted, 3},
        {"the data shifted the other way", shiftedBack, &data, KeyRelation::DataShifted, -5},
        {"a random key on text", noise, &data, KeyRelation::None, 0},
        {"a random key on zeros", noise, &zeros, KeyRelation::None, 0},
        {"another text", other, &data, KeyRelation::None, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t n = std::min(c.key.size(), c.on->size());
        KeyRelationFound found =
            relateKeyToData(c.key.data(), c.on->data(), std::min<size_t>(n, kRelationBytes));
        EXPECT_EQ(int(found.relation), int(c.relation));
        const int64_t detail = c.relation == KeyRelation::OutputConstant   ? int64_t(found.outputByte)
                               : c.relation == KeyRelation::OutputPeriodic ? int64_t(found.outputPeriod)
                               : c.relation == KeyRelation::DataShifted    ? int64_t(found.shift)
                                                                           : 0;
        EXPECT_EQ(detail, c.detail);
    }
}

// A key string's stream repeats with the string's own period, not the expanded length.
TEST(KeyEvidence, AKeyStreamRepeatsWithItsShortestWholePeriod) {
    struct Case {
        std::string key;
        size_t period;
    } cases[] = {
        {std::string(32, 'k'), 1},
        {"abcabcabcabcabcabcabcabcabcabcabc", 3},
        {"abababababababababababababababab", 2},
        {"abaabaabaabaabaabaabaabaabaabaaba", 3},
        {"correct horsecorrect horsecorrect horse", 13},
        {"abcab", 5}, // a border that does not divide the length: the whole
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keyStreamPeriod(reinterpret_cast<const uint8_t*>(c.key.data()), c.key.size()), c.period)
            << c.key;
    }
}

} // namespace
