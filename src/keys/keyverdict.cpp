#include "keys/keyverdict.h"

#include <cstring>

void beginKeyEvidence(KeyEvidenceGatherer& gatherer) {
    std::memset(gatherer.counts, 0, sizeof gatherer.counts);
    gatherer.tested = 0;
    gatherer.head.clear();
}

void feedKeyEvidence(KeyEvidenceGatherer& gatherer, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        ++gatherer.counts[bytes[i]];
    }
    gatherer.tested += count;
    size_t room = kEvidenceHeadBytes - gatherer.head.size();
    gatherer.head.insert(gatherer.head.end(), bytes, bytes + (count < room ? count : room));
}

size_t shortestPeriod(const uint8_t* bytes, size_t n) {
    if (n == 0) {
        return 0;
    }
    // The longest proper border of every prefix (Knuth-Morris-Pratt): n less the border of the
    // whole is the shortest period.
    std::vector<uint32_t> border(n, 0);
    for (size_t i = 1, k = 0; i < n; ++i) {
        while (k > 0 && bytes[i] != bytes[k]) {
            k = border[k - 1];
        }
        if (bytes[i] == bytes[k]) {
            ++k;
        }
        border[i] = uint32_t(k);
    }
    return n - border[n - 1];
}

size_t keyStreamPeriod(const uint8_t* key, size_t n) {
    size_t period = shortestPeriod(key, n);
    return period != 0 && n % period == 0 ? period : n;
}

KeyEvidence finishKeyEvidence(const KeyEvidenceGatherer& gatherer, bool sameAsInput) {
    KeyEvidence evidence{};
    evidence.tested = gatherer.tested;
    if (sameAsInput) {
        evidence.outcome = KeyEvidenceOutcome::SameAsInput;
        return evidence;
    }
    const uint64_t n = gatherer.tested;
    for (uint32_t value = 0; value < 256; ++value) {
        if (n > 0 && gatherer.counts[value] == n) {
            evidence.outcome = KeyEvidenceOutcome::Constant;
            evidence.constantByte = uint8_t(value);
            return evidence;
        }
    }
    const size_t head = gatherer.head.size();
    size_t period = shortestPeriod(gatherer.head.data(), head);
    if (head >= 2 && period <= head / 2) {
        evidence.outcome = KeyEvidenceOutcome::Periodic;
        evidence.period = uint32_t(period);
        return evidence;
    }
    if (n < kEvidenceMinimumBytes) {
        evidence.outcome = KeyEvidenceOutcome::TooShort;
        return evidence;
    }
    const double expected = double(n) / 256.0;
    double chiSquare = 0;
    for (uint64_t count : gatherer.counts) {
        double d = double(count) - expected;
        chiSquare += d * d / expected;
    }
    evidence.chiSquare = chiSquare;
    evidence.outcome = chiSquare > kChiSquareLimit ? KeyEvidenceOutcome::Uneven : KeyEvidenceOutcome::Passed;
    return evidence;
}
