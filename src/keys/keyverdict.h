// What may truthfully be said of a key before it touches the data: the verdict every front end
// can take. Each test can only find structure: passing them all is no proof of randomness,
// failing any one of them proves the key is no one-time pad.
//
// The key alone, on the bytes a job uses (a sample of them for large keys):
// - constant: every byte the same;
// - period: the first kEvidenceHeadBytes repeat with a period of at most half their length;
// - repeats: a stretch of kRepeatStretch bytes or more occurs twice among the bytes tested
//   (always found; shorter repeats may be found too, and are said as found);
// - byte frequencies: chi-square over the 256 byte values above kChiSquareLimit, which a
//   random key exceeds with a probability of about one in a million (255 degrees of freedom);
// - too short: below kEvidenceMinimumBytes the frequencies say nothing, so no verdict is given.
// The key and the data together, on their first kRelationBytes:
// - the output (key XOR data) one byte value throughout, or repeating with a short period: the
//   key file holds the data itself (XORed with a pattern), all zeros when it is the data;
// - the key is the data shifted by up to kLargestShift bytes: the output is the data XORed with
//   itself, and a few known bytes give back the rest;
// - the key is the head of an output the key-use ledger knows: XOR the two outputs and this data
//   drops out (the ledger says so; see KeyLedgerFacts).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/operation.h"

constexpr size_t kEvidenceHeadBytes = 1 << 20;
constexpr uint64_t kEvidenceMinimumBytes = 256 * 5; // five expected per byte value
constexpr double kChiSquareLimit = 377.0;
// Repeats are looked for through anchors of kAnchorBytes taken every kAnchorSpacing bytes: any
// stretch of kAnchorSpacing + kAnchorBytes - 1 bytes holds a whole anchor, so a repeat of
// kRepeatStretch bytes is always found.
constexpr uint32_t kAnchorBytes = 32;
constexpr uint32_t kAnchorSpacing = 2048;
constexpr uint32_t kRepeatStretch = 4096;
static_assert(kAnchorSpacing + kAnchorBytes - 1 <= kRepeatStretch,
              "a stretch said to be free of repeats holds an anchor");
constexpr uint32_t kRelationBytes = 64 * 1024;
constexpr uint32_t kLargestShift = 1024;

enum class KeyEvidenceOutcome { Passed, Constant, Periodic, TooShort, Uneven, Repeats };

struct KeyEvidence {
    KeyEvidenceOutcome outcome;
    uint8_t constantByte; // Constant: the one byte value
    uint32_t period;      // Periodic: the shortest period found
    double chiSquare;
    uint64_t tested;   // bytes that went into the tests
    uint64_t repeatOf; // Repeats: the kAnchorBytes bytes at this offset of the key...
    uint64_t repeatAt; // ...occur again at this one
};

// Fed with the key's bytes from its start, then with any further sampled windows, each with its
// offset in the key.
struct KeyEvidenceGatherer {
    uint64_t counts[256];
    uint64_t tested;
    std::vector<uint8_t> head;
    // The repeat search: a rolling hash over the last kAnchorBytes of the current stretch.
    uint64_t stretchEnd; // the offset after the last byte fed
    uint64_t stretchLength;
    uint64_t hash;
    uint8_t tail[kAnchorBytes]; // the stretch's last bytes, oldest first
    std::vector<uint8_t> anchorBytes;
    std::vector<uint64_t> anchorOffsets, anchorHashes;
    std::vector<uint32_t> table;  // anchor index + 1 by hash; 0 for none
    std::vector<uint64_t> filter; // one bit a hash bucket: most positions end there
    bool repeatFound;
    uint64_t repeatOf, repeatAt;
};

void beginKeyEvidence(KeyEvidenceGatherer& gatherer);
void feedKeyEvidence(KeyEvidenceGatherer& gatherer, uint64_t offset, const uint8_t* bytes, size_t count);
KeyEvidence finishKeyEvidence(const KeyEvidenceGatherer& gatherer);

// The shortest period with which `bytes` repeat from their start (n when they do not).
size_t shortestPeriod(const uint8_t* bytes, size_t n);
// The period of the endless key stream made by repeating a key of n bytes: its shortest period
// when that divides n, else n.
size_t keyStreamPeriod(const uint8_t* key, size_t n);

enum class KeyRelation { None, OutputConstant, OutputPeriodic, DataShifted, KnownOutput };

struct KeyRelationFound {
    KeyRelation relation;
    uint8_t outputByte;    // OutputConstant
    uint32_t outputPeriod; // OutputPeriodic
    int32_t shift;         // DataShifted: the key's byte i is the data's byte i + shift
};
// How the first n bytes of a key relate to the first n of its data.
KeyRelationFound relateKeyToData(const uint8_t* key, const uint8_t* data, size_t n);

// What the key-use ledger adds to a verdict on a job's key.
struct KeyLedgerFacts {
    bool asked;       // the ledger was asked about this use
    bool consulted;   // and read in full: the use could be checked against every earlier one
    bool usedBefore;  // the user went on with a key the ledger knows as used
    bool keyIsOutput; // the key is the head of an earlier output of some pad
    char keyIsOutputDate[11];
};

enum class JudgementKind { PublicKey, RepeatingString, ShortKeyFile, Unread, Pad };

struct KeyJudgement {
    JudgementKind kind;
    uint32_t period;   // RepeatingString
    uint64_t keyBytes; // the key file's bytes in use
    uint64_t payload;
    KeyEvidence evidence;
    KeyRelationFound relation;
    KeyLedgerFacts ledger;
};

// The verdict on the key `request` names for `payload` bytes of its input (an encryption): the
// key bytes the job uses (a sample of a large key), alone and against the data's head.
KeyJudgement judgeKey(const JobRequest& request, const FileLayer& files, uint64_t payload,
                      const KeyLedgerFacts& ledger);
// True when the verdict may call the key a one-time pad.
bool judgementIsPad(const KeyJudgement& verdict);
// One line for the user.
void composeKeyJudgement(const KeyJudgement& verdict, char* out, size_t capacity);
// True when a key file would let the output show the data to anyone: one byte value throughout
// (zeros leave it as it is), the data itself in some form, or an earlier output. No job writes
// such an output unless the user, asked, goes on.
bool judgementShowsData(const KeyJudgement& verdict);
// The question asked before such a job.
void composeShowsDataQuestion(const KeyJudgement& verdict, char* out, size_t capacity);
