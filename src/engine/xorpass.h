// The key stream and the XOR pass. Files written with these rules can be read back only with
// exactly the same rules, passed-over bytes and key restarts included.
#pragma once

#include <cstdint>

// Data and key files are read, and output written, in portions of at most this size.
constexpr uint32_t kChunkSize = 25000000;
// Each work buffer: data and key, and a second data buffer where writing overlaps the pass.
constexpr uint32_t kWorkBufferSize = 25000050;
constexpr uint32_t kMinStringKeyLength = 32;
constexpr char kDefaultKeyText[] = "HarbinLockworks";

// Expands a key string: the default text when empty, repeated whole until at least 32 bytes.
// Returns the key's length, or 0 when it does not fit into `capacity` bytes.
uint32_t expandKeyString(const char* text, uint8_t* key, uint32_t capacity);

// Where the pass reads and writes. Counts are bytes; a read returns how many arrived
// (fewer at the end of a file) or -1 on failure.
struct XorStreams {
    void* context;
    int64_t (*readData)(void* context, uint8_t* buffer, uint32_t count);
    int64_t (*readKey)(void* context, uint8_t* buffer, uint32_t count);
    bool (*writeOutput)(void* context, const uint8_t* buffer, uint32_t count);
    void (*reportProgress)(void* context, uint32_t progress); // may be null
    // Where the next chunk goes while the chunk just given to writeOutput may still be being
    // written; null when the output failed. Without it the next chunk goes into the same buffer.
    uint8_t* (*nextChunkBuffer)(void* context) = nullptr;
};

struct XorPassSetup {
    uint8_t* data;          // at least chunkSize bytes, for the first chunk
    uint8_t* key;           // at least chunkSize bytes, holding the first key chunk
    uint32_t chunkSize;     // 25,000,000 in the program; small in tests
    uint32_t payloadLength; // S
    uint32_t keyIsFile;
    uint32_t keyBytes;       // the key's whole length
    uint32_t keyChunkLength; // m: bytes of the key now in `key`
    uint32_t keyChunkCount;  // kc: 0 when the whole key fits one chunk
};

enum class XorOutcome { Done, DataReadFailed, KeyReadFailed, WriteFailed };

// Key chunk length and count at the start of a job with a key file of keyBytes bytes.
void firstKeyChunk(uint32_t keyBytes, uint32_t chunkSize, uint32_t& length, uint32_t& count);

// XORs the payload with the key stream, reading and writing through `streams`.
XorOutcome runXorPass(const XorPassSetup& setup, const XorStreams& streams);

// XORs n bytes of src into dst, wide words at a time.
void xorBytes(uint8_t* dst, const uint8_t* src, uint32_t n);
