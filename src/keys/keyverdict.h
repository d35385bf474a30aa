// Evidence about a key file as long as the data: what the console tool may truthfully say before
// it calls a key a one-time pad. Each test can only find structure: passing them all is no proof
// of randomness, failing any one of them proves the key is no one-time pad.
//
// The tests, on the bytes a job uses (a sample of them for large keys):
// - constant: every byte the same;
// - period: the first kEvidenceHeadBytes repeat with a period of at most half their length;
// - byte frequencies: chi-square over the 256 byte values above kChiSquareLimit, which a
//   random key exceeds with a probability of about one in a million (255 degrees of freedom);
// - too short: below kEvidenceMinimumBytes the frequencies say nothing, so no verdict is given.
// Whether a key is the input itself, or holds its bytes, the caller tells (sameAsInput).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kEvidenceHeadBytes = 1 << 20;
constexpr uint64_t kEvidenceMinimumBytes = 256 * 5; // five expected per byte value
constexpr double kChiSquareLimit = 377.0;

enum class KeyEvidenceOutcome { Passed, Constant, Periodic, TooShort, Uneven, SameAsInput };

struct KeyEvidence {
    KeyEvidenceOutcome outcome;
    uint8_t constantByte; // Constant: the one byte value
    uint32_t period;      // Periodic: the shortest period found
    double chiSquare;
    uint64_t tested; // bytes that went into the tests
};

// Fed with the key's bytes from its start, then with any further sampled windows.
struct KeyEvidenceGatherer {
    uint64_t counts[256];
    uint64_t tested;
    std::vector<uint8_t> head;
};

void beginKeyEvidence(KeyEvidenceGatherer& gatherer);
void feedKeyEvidence(KeyEvidenceGatherer& gatherer, const uint8_t* bytes, size_t count);
KeyEvidence finishKeyEvidence(const KeyEvidenceGatherer& gatherer, bool sameAsInput);

// The shortest period with which `bytes` repeat from their start (n when they do not).
size_t shortestPeriod(const uint8_t* bytes, size_t n);
// The period of the endless key stream made by repeating a key of n bytes: its shortest period
// when that divides n, else n.
size_t keyStreamPeriod(const uint8_t* key, size_t n);
