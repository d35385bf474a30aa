#include <gtest/gtest.h>

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

// Every way a key that hides nothing can look, and keys that a careful reviewer would accept.
TEST(KeyEvidence, NamesTheStructureThatMakesAKeyNoPad) {
    Bytes halfRange = random(200000, 3);
    for (uint8_t& byte : halfRange) {
        byte &= 0x7F; // seven random bits: text-like
    }
    Bytes lateZeros = random(300000, 4);
    std::fill(lateZeros.begin() + 200000, lateZeros.end(), 0);
    struct Case {
        const char* what;
        Bytes key;
        bool sameAsInput;
        KeyEvidenceOutcome outcome;
        uint32_t detail; // the constant byte, or the period
    } cases[] = {
        {"random", random(100000, 1), false, KeyEvidenceOutcome::Passed, 0},
        {"random, just long enough to test", random(kEvidenceMinimumBytes, 2), false,
         KeyEvidenceOutcome::Passed, 0},
        {"all zeros", Bytes(1000, 0), false, KeyEvidenceOutcome::Constant, 0},
        {"all 0xFF, short", Bytes(2, 0xFF), false, KeyEvidenceOutcome::Constant, 0xFF},
        {"16 random bytes repeated", repeated(random(16, 5), 100000), false, KeyEvidenceOutcome::Periodic,
         16},
        {"a random block repeated in the head", repeated(random(300000, 6), 700000), false,
         KeyEvidenceOutcome::Periodic, 300000},
        {"seven random bits", halfRange, false, KeyEvidenceOutcome::Uneven, 0},
        {"random, then zeros", lateZeros, false, KeyEvidenceOutcome::Uneven, 0},
        {"random but too short to test", random(1000, 7), false, KeyEvidenceOutcome::TooShort, 0},
        {"the input itself", random(100000, 8), true, KeyEvidenceOutcome::SameAsInput, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeyEvidenceGatherer gatherer;
        beginKeyEvidence(gatherer);
        // In uneven portions, as a file is read.
        for (size_t at = 0; at < c.key.size();) {
            size_t n = std::min<size_t>(c.key.size() - at, 7777 + at % 3);
            feedKeyEvidence(gatherer, c.key.data() + at, n);
            at += n;
        }
        KeyEvidence evidence = finishKeyEvidence(gatherer, c.sameAsInput);
        EXPECT_EQ(int(evidence.outcome), int(c.outcome)) << "chi-square " << evidence.chiSquare;
        EXPECT_EQ(evidence.tested, c.key.size());
        if (c.outcome == KeyEvidenceOutcome::Constant) {
            EXPECT_EQ(evidence.constantByte, c.detail);
        }
        if (c.outcome == KeyEvidenceOutcome::Periodic) {
            EXPECT_EQ(evidence.period, c.detail);
        }
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
