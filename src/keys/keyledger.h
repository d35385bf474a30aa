// The key-use ledger: which key files have encrypted which data on this computer, so that a pad
// is not used for a second, different file without the user being told. It holds salted
// fingerprints and dates only: no file name, nothing from which a key or a file can be rebuilt.
// The rules live here; each system supplies the ledger file through LedgerFiles.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/job.h"

struct FileLayer;
struct JobOptions;

constexpr char kLedgerFileName[] = "KeyLedger.txt";
// Fewer bytes are not recorded: a fingerprint of so few could be reversed by trying every value.
constexpr uint64_t kLedgerSmallestUse = 16;
// Every use of a key file starts at its first byte, so two uses of one key always share their
// first bytes: up to this many of them name the key.
constexpr uint32_t kLedgerKeyPrefix = 4096;

// An unsalted 64-bit fingerprint of a byte sequence fed in pieces of any size. Fast enough to run
// in the job's own pass; not a cryptographic hash.
struct Fingerprint {
    uint32_t lanes[8];
    uint64_t total;
    uint8_t tail[32];
    uint32_t tailLength;
};
void startFingerprint(Fingerprint& print);
void feedFingerprint(Fingerprint& print, const uint8_t* bytes, size_t count);
uint64_t finishFingerprint(const Fingerprint& print);

// What a job's pass learns for the ledger: a fingerprint of the first bytes of the data it reads
// and, on the writer's side, of all the XORed bytes it writes (a container's header left out).
// With one key, the same data gives the same output, so the output names the data; the pass
// itself only fingerprints a few thousand bytes.
struct KeyUseTrace {
    bool active;
    uint32_t prefix;   // the first bytes fingerprinted: as many as the key's, up to kLedgerKeyPrefix
    uint64_t dataRead; // all the bytes the pass read
    Fingerprint dataPrefix;
    Fingerprint output;
    Fingerprint outputPrefix;
};
void startKeyUseTrace(KeyUseTrace& trace, uint64_t length);
void traceData(KeyUseTrace& trace, const uint8_t* bytes, size_t count);
void traceOutput(KeyUseTrace& trace, const uint8_t* bytes, size_t count);

// One recorded use, its fingerprints salted with the ledger's salt.
struct KeyUse {
    char date[11];      // YYYY-MM-DD, UTC
    uint32_t keyPrefix; // the key's first bytes that keyPrint covers
    uint64_t keyPrint;
    uint64_t length;      // bytes encrypted
    uint64_t dataPrint;   // of the data's first keyPrefix bytes
    uint64_t outputPrint; // of all the XORed bytes
};

struct LedgerSalt {
    uint64_t words[2];
};

// A raw fingerprint as the ledger stores it.
uint64_t saltedPrint(const LedgerSalt& salt, uint64_t raw);

// The ledger's lines, "\r\n" at their end; both read back with or without the "\r".
constexpr size_t kLedgerLineCapacity = 128;
size_t formatLedgerHeader(const LedgerSalt& salt, char* out);
bool parseLedgerHeader(const char* line, size_t length, LedgerSalt& salt);
size_t formatKeyUse(const KeyUse& use, char* out);
bool parseKeyUse(const char* line, size_t length, KeyUse& use);

enum class LedgerOpen { Absent, Opened, Unreadable };

// The ledger file of one system.
struct LedgerFiles {
    void* context;
    // Opens the ledger for reading and keeps other copies of the program away from it until
    // close, waiting a little while one of them holds it.
    LedgerOpen (*open)(void* context);
    int64_t (*read)(void* context, uint8_t* buffer, uint32_t count); // 0 at the end; -1 on failure
    // A new ledger, written beside the old one and put in its place, flushed, by commit.
    bool (*begin)(void* context);
    bool (*write)(void* context, const uint8_t* buffer, uint32_t count);
    bool (*commit)(void* context);
    // Drops a new ledger that was not committed and lets the other copies in again.
    void (*close)(void* context);
    bool (*random)(void* context, uint8_t* buffer, size_t count); // for a new ledger's salt
    const char* path;                                             // for messages
};

enum class KeyUseVerdict : uint32_t {
    NotRecorded, // no pad encryption: a key string, a short key, a decryption, a tiny file
    FirstUse,    // the ledger does not know the key (or could not be read)
    SameData,    // the key has encrypted this very data before: nothing new is exposed
    Decrypting,  // the data is what this key made: XORing it again is decryption
    Reuse,       // the key has encrypted different data
};

// What the ledger did for a job, for the user: at most one note a job.
enum class LedgerNote : uint32_t {
    None,
    Damaged,    // lines (or the whole ledger) could not be read; the ledger was rewritten without them
    NotWritten, // this use could not be recorded
};

struct KeyUseCheck {
    KeyUseVerdict verdict;
    char firstUsed[11]; // Reuse: the date of the earliest use with other data
};

// Whether `request` encrypts with a key file as a pad, and how many bytes it encrypts; false for
// every job the ledger leaves out.
bool keyUseCounts(const JobRequest& request, const FileLayer& files, uint64_t& length);

// Asked before a job that `options` would run: has this key file encrypted other data? Only when
// the ledger knows the key and a use of the same length does it read the input and the key, as
// the job would, to tell the same data from other data.
KeyUseCheck checkKeyUse(const JobRequest& request, const FileLayer& files, const LedgerFiles& ledger,
                        const JobOptions& options);

// After a successful job whose pass filled `trace`: records the use unless the ledger already
// holds it, or the job decrypted what the key made.
LedgerNote recordKeyUse(const JobRequest& request, const FileLayer& files, const LedgerFiles& ledger,
                        uint64_t length, const KeyUseTrace& trace);

// The window's question on a reuse, the harmless answer first.
constexpr char kKeyReuseCancel[] = "Cancel";
constexpr char kKeyReuseGoOn[] = "Use it anyway";

// The messages, composed for `path` (the ledger) or `date`.
void composeKeyReuse(const char* date, char* out, size_t capacity);
void composeLedgerNote(LedgerNote note, const char* path, char* out, size_t capacity);
