// One job as every front end asks for it: the request, the progress it reports, and the status
// record that the window's job worker shares with the window.
#pragma once

#include <atomic>
#include <cstdint>

#include "text/text.h"

// A container header's text fields (name, description, key path) are 300 bytes each: at most
// 299 bytes of text and its terminator.
constexpr size_t kFieldCapacity = 300;
// A typed key string, in the code page's bytes: the window's field keeps at most kKeyFieldBytes,
// as it always has; the windowless run and the console tool take up to kLongestKeyString. A file
// made with a longer key than the window keeps is decrypted by those two, not in the window.
constexpr size_t kKeyFieldBytes = 289;
constexpr size_t kLongestKeyString = kTextCapacity - 1;

enum Direction : uint32_t { Decrypt = 0, Encrypt = 1 };
enum CipherMode : uint32_t { ModeXor = 0, ModeClassic = 1 };
enum class KeyKind : uint32_t { File, Text };

// Result codes; 10 and above end a job without any message.
enum JobResult : uint32_t {
    ResultOk = 0,
    ResultReadError = 1,
    ResultNoKey = 2,
    ResultNoMemory = 3,
    ResultWriteError = 4,
    ResultAbandoned = 10,
    ResultDeclined = 11, // the key's use was not agreed to: the front end has said why
};

// What a container's header says of the file it holds; decrypting it restores these.
struct StoredFile {
    char plainName[kTextCapacity]; // reduced to a bare file name
    uint32_t headerLength;
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
    uint32_t attributes;
};

// Everything a job needs, filled by a front end and read by the job operation alone.
struct JobRequest {
    char inputPath[kTextCapacity];
    char outputFolder[kTextCapacity];
    Direction direction;
    CipherMode mode;
    KeyKind keyKind;
    char keyPath[kTextCapacity]; // KeyKind::File
    uint32_t keyBytes;           // KeyKind::File: the bytes of the key file the job uses; 0 for none
    char keyText[kTextCapacity]; // KeyKind::Text: the key string as the key stream takes it
    bool useDescription;
    char description[kFieldCapacity];
    bool saveKeyName;  // a Classic encryption stores keyPath in its header
    StoredFile stored; // a Classic decryption: from the input's header
};

// Empty paths and texts, Encrypt, XOR, a key file of no bytes.
void resetJobRequest(JobRequest& request);

// The bytes of a key file of keyFileBytes that a job uses when the user asks for `count`: the
// count when it is a smaller number than the key holds, else the whole key.
uint32_t keyBytesInUse(uint32_t keyFileBytes, uint64_t count);

// A job's progress as one number: kProgressIdle before it starts, kProgressStarted + p while p
// percent of the payload is done (p below 100), kProgressEnded once it has ended.
constexpr uint32_t kProgressIdle = 0;
constexpr uint32_t kProgressStarted = 100;
constexpr uint32_t kProgressEnded = 200;
// The percent done that a progress number stands for: 0 before and at the start, 100 at the end.
constexpr uint32_t progressPercent(uint32_t progress) {
    return progress <= kProgressStarted ? 0 : progress >= kProgressEnded ? 100 : progress - kProgressStarted;
}

// The one record a running job worker shares with the window that polls it. The worker stores
// result and hundredths before progress = kProgressEnded (release); the window reads them only
// after it has seen that value (acquire), and sets progress back to kProgressIdle once it has
// reported.
struct JobStatus {
    std::atomic<uint32_t> progress{kProgressIdle};
    std::atomic<uint32_t> result{ResultOk};
    std::atomic<uint32_t> hundredths{0}; // the job's duration
    // What the front end has to say once it has reported the job (its own code); 0 for nothing.
    std::atomic<uint32_t> afterNote{0};
    // The system's code for why a failed job's file call failed; 0 for none known.
    std::atomic<uint32_t> failure{0};
};
