// Rating a file as key material: three counts taken in one pass over its bytes, weighed against
// the size of the file to be encrypted, give a score and one of five verdicts.
#pragma once

#include <cstddef>
#include <cstdint>

// The file is read in portions of at most this size through one work buffer of kAnalyseBufferSize.
constexpr uint32_t kAnalyseChunkSize = 10000000;
constexpr uint32_t kAnalyseBufferSize = 10000050;

inline constexpr char kCannotOpenKeyFileText[] = "Cannot open Keyfile";

inline constexpr char kVeryBadKeyFileText[] =
    "This file is a very bad keyfile. Usage is not recommended as it contains excessive repetition and/or "
    "blank sections.";
inline constexpr char kBadKeyFileText[] =
    "This file is a bad keyfile. If what you are encrypting is human readable, for example if it is a text "
    "file, the resultant file could still be partially readable. The built in key generator would probably "
    "produce a better keyfile.";
inline constexpr char kOkKeyFileText[] = "This file is OK to be used as a keyfile.";
inline constexpr char kGoodKeyFileText[] =
    "This file is a good keyfile. It still has some repetitions and/or nulls in it, but for its size it is "
    "acceptable.";
inline constexpr char kExcellentKeyFileText[] =
    "The file will make an excellent keyfile. This is the best rating that Nimbrel can give. However this "
    "tester is just a basic test.... See the ReadMe for more details.";

// The counts of one pass. Counts wrap in 32 bits like every count of the rating.
struct KeyStats {
    uint32_t zeroPairs; // Z: zero bytes after a zero byte
    uint32_t repeats;   // R: bytes equal to the byte before, other than two zeros
    int32_t balance;    // B: +1 for each byte of 128 or more, -1 for each below
    uint8_t previous;   // p: the last byte scanned; 1 before the first
};

// Counts all zero, previous byte 1.
KeyStats freshKeyStats();

// Adds `count` bytes to the counts; the previous byte carries over from one call to the next,
// so a file scanned in any portions gives the counts of one pass.
void scanKeyBytes(KeyStats& stats, const uint8_t* bytes, size_t count);

// Reads up to `count` bytes of the key file into buffer; returns how many arrived, -1 on failure.
using KeyFileRead = int64_t (*)(void* context, uint8_t* buffer, uint32_t count);

// Scans `size` bytes read through `read` in portions of at most chunkSize bytes (buffer holds at
// least chunkSize). False when a read fails or delivers fewer bytes than asked: the file then
// could not be read as a whole and the counts cover only what arrived.
bool scanKeyFile(KeyStats& stats, uint32_t size, uint32_t chunkSize, uint8_t* buffer, KeyFileRead read,
                 void* context);

// The starting score: 160 when the key is longer than the input, then 150, 100 or 50 as the key
// reaches a quarter, a sixteenth or less of the input.
uint32_t sizeGrade(uint32_t keySize, uint32_t inputSize);

// One test on the score: a bonus of 20, 30 or 40 when count stays below limit (the further below,
// the more), otherwise a penalty of (count - limit) / 64 capped by `cap` and by the score itself.
uint32_t applyKeyTest(uint32_t score, uint32_t limit, uint32_t count, uint32_t cap);

// The balance as the balance test counts it: B read unsigned, negated when above 2^30.
uint32_t balanceMagnitude(int32_t balance);

// The final score of a key file of keySize bytes with these counts against an input of inputSize.
uint32_t keyScore(const KeyStats& stats, uint32_t keySize, uint32_t inputSize);

enum KeyVerdict : uint32_t { VerdictVeryBad, VerdictBad, VerdictOk, VerdictGood, VerdictExcellent };

// 0-69 very bad, 70-104 bad, 105-144 OK, 145-199 good, 200 and more excellent.
KeyVerdict verdictFor(uint32_t score);
const char* verdictText(KeyVerdict verdict);

enum class AnalyseOutcome : uint32_t {
    Rated,      // score, verdict and text are set
    EmptyFile,  // a key file of 0 bytes
    ReadFailed, // a read failed or came back short
};

struct KeyAnalysis {
    AnalyseOutcome outcome;
    KeyStats stats;
    uint32_t score;
    KeyVerdict verdict;
    const char* text; // the one message to show, whatever the outcome
};

// The analysis of an opened key file of keySize bytes (the low 32 bits of its size) against an
// input of inputSize bytes, read through `read` into the caller's work buffer of at least
// chunkSize bytes (kAnalyseBufferSize with kAnalyseChunkSize). A caller that cannot have the
// buffer shows kMemoryError instead; one that cannot open the file, kCannotOpenKeyFileText.
KeyAnalysis analyseKeyStream(uint32_t keySize, uint32_t inputSize, uint32_t chunkSize, uint8_t* buffer,
                             KeyFileRead read, void* context);
