// The key-use ledger as text: its header, its lines, and the reader that takes them one at a time
// through a fixed buffer.
//
// Version 2 (written by this version):
//   Nimbrel key-use ledger 2 salt <32 hex digits>
//   <date> <n> <key> <length> <data> <output head> <output>[ job <16 hex digits>]
// each line ended by "\r\n". n is the number of the key's first bytes that <key> names (the
// length, up to 4096); <key> is the salted fingerprint of those bytes; <data> that of the key's
// n bytes followed by the data's first n (keyed by the key, so it confirms no guess of the data
// without the key); <output head> that of the output's first n bytes and <output> that of the
// whole output, a container's header left out. A fingerprint not known is "-". "job" marks a use
// whose job may still be running: the number names the hold that job keeps (see LedgerFiles);
// the job's record, written before its output takes its name, drops it.
//
// Version 1 (the first ledger):
//   Nimbrel key-use ledger 1 salt <32 hex digits>
//   <date> <n> <key> <length> <data> <output>
// where <data> was the data's own fingerprint, which any reader could test a guess against. It is
// read, and its lines are carried into version 2 without it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr char kLedgerFileName[] = "KeyLedger.txt";
// Fewer bytes are not recorded: their output fingerprints could be reversed by trying every value.
constexpr uint64_t kLedgerSmallestUse = 16;
// Every use of a key file starts at its first byte, so two uses of one key always share their
// first bytes: up to this many of them name the key.
constexpr uint32_t kLedgerKeyPrefix = 4096;
// A line the ledger writes fits; a longer one is damaged.
constexpr size_t kLedgerLineCapacity = 192;

struct LedgerSalt {
    uint64_t words[2];
};

// One recorded use, its fingerprints salted with the ledger's salt.
struct KeyUse {
    char date[11];      // YYYY-MM-DD, UTC
    uint32_t keyPrefix; // the key's first bytes that keyPrint covers
    uint64_t keyPrint;
    uint64_t length; // bytes encrypted
    bool hasData, hasOutputHead, hasOutput;
    uint64_t dataPrint;       // keyed: the key's first keyPrefix bytes, then the data's
    uint64_t outputHeadPrint; // the output's first keyPrefix bytes
    uint64_t outputPrint;     // all of the output
    uint64_t job;             // the hold of the job that wrote it; 0 for none
};

// The header's version, 0 when the line is no header.
uint32_t parseLedgerHeader(const char* line, size_t length, LedgerSalt& salt);
// Version 2, "\r\n" at its end.
size_t formatLedgerHeader(const LedgerSalt& salt, char (&out)[kLedgerLineCapacity]);
bool parseKeyUse(const char* line, size_t length, uint32_t version, KeyUse& use);
size_t formatKeyUse(const KeyUse& use, char (&out)[kLedgerLineCapacity]);

// The ledger's lines through a fixed buffer: memory stays the same whatever the ledger holds.
// Every byte read is also handed to `copy`, when set, as it arrives.
struct LedgerLineReader {
    void* context;
    int64_t (*read)(void* context, uint8_t* buffer, uint32_t count); // 0 at the end; -1 on failure
    void (*copy)(void* context, const uint8_t* bytes, size_t count) = nullptr;
    void* copyContext = nullptr;
    uint8_t buffer[4096] = {};
    size_t start = 0, end = 0;
    bool atEnd = false;
    bool failed = false;

    // The next line without its line break; a line longer than the ledger writes comes back as
    // one of kLedgerLineCapacity bytes (and so unreadable), its rest skipped. False at the end,
    // or when reading fails.
    bool next(char (&line)[kLedgerLineCapacity], size_t& length);

  private:
    bool fill();
};
