// One job from start to end (key, output name, header, XOR pass, temporary output moved into
// place, times), over a narrow file layer that each front end supplies: the window's worker, the
// windowless run and the console tool all decide what a job does here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/container.h"
#include "engine/job.h"

// An open file of the layer; kNoFile for none.
using FileRef = intptr_t;
constexpr FileRef kNoFile = -1;

// Creation, last-access and last-write time in Windows file time (100 ns since 1601), the unit
// the container stores. A layer that cannot keep creation times ignores that one.
struct FileTimes {
    uint64_t creation;
    uint64_t lastAccess;
    uint64_t lastWrite;
};

struct FileLayer {
    void* context;  // the system's own, for the file calls
    char separator; // between folders in a path
    FileRef (*openRead)(void* context, const char* path);
    // A file of this name that did not exist, made now and open for writing; kNoFile when the
    // name is taken or the file cannot be made.
    FileRef (*createNew)(void* context, const char* path);
    // Up to count bytes; fewer only at the end of the file; -1 on failure.
    int64_t (*read)(void* context, FileRef file, uint8_t* buffer, uint32_t count);
    bool (*write)(void* context, FileRef file, const uint8_t* buffer, uint32_t count);
    int64_t (*size)(void* context, FileRef file); // -1 when it cannot be taken
    bool (*seek)(void* context, FileRef file, uint64_t position);
    bool (*getTimes)(void* context, FileRef file, FileTimes& times);
    bool (*setTimes)(void* context, FileRef file, const FileTimes& times);
    // False when written data may not have reached the file.
    bool (*close)(void* context, FileRef file);
    // True when `path` names the file open as `open` (opened from `openPath`).
    bool (*sameFile)(void* context, const char* path, FileRef open, const char* openPath);
    bool (*exists)(void* context, const char* path);
    uint32_t (*attributes)(void* context, const char* path); // all ones when unknown
    void (*makeFolder)(void* context, const char* path);     // one level; failure is no error
    // Moves a closed file to `to`; without `replace` an existing `to` is never touched.
    bool (*rename)(void* context, const char* from, const char* to, bool replace);
    bool (*remove)(void* context, const char* path);
    // A number that differs between runs, for naming temporary files.
    uint32_t (*uniqueNumber)(void* context);
    void* (*takeMemory)(void* context, size_t bytes); // zero-filled; null when there is none
    void (*releaseMemory)(void* context, void* memory);
    // What the job reports as it goes, to whoever watches it (reportContext): may be null.
    void (*progress)(void* reportContext, uint32_t progress);
    void (*caption)(void* reportContext, const char* caption); // the job's title
    void* reportContext;
    // How a container's texts are stored on this system.
    LegacyCodePage codePage;
};

// A look at the bytes a job moves, and a last word before its output takes its name, for whoever
// runs the job and must know what it did: the job itself keeps nothing of them. Any of the calls
// may be null.
struct JobTap {
    void* context;
    // The payload as the pass reads it, in order, on the pass's thread.
    void (*dataRead)(void* context, const uint8_t* bytes, size_t count);
    // The key file's bytes as the job reads them, in order, on the pass's thread.
    void (*keyRead)(void* context, const uint8_t* bytes, size_t count);
    // The XORed payload as it is written, in order (a container's header left out), on the
    // writer's thread; the pass's thread waits for it before anything below is called.
    void (*outputWritten)(void* context, const uint8_t* bytes, size_t count);
    // Every byte is written and the output closed, not yet named: false removes it and ends the
    // job at JobStep::Declined.
    bool (*beforePlacing)(void* context);
    // After the output's move: whether it took its name.
    void (*afterPlacing)(void* context, bool placed);
};

struct JobOptions {
    uint32_t chunkSize; // 25,000,000 in every product; small in tests
    size_t bufferBytes; // each work buffer: data, key, and the second data buffer when overlapped
    bool replaceOutput; // the user agreed to replace an existing output
    // Each chunk is written on a thread of its own while the next is read and XORed, in a
    // second data buffer.
    bool overlapped = true;
    const JobTap* tap = nullptr;
};
// Overlapped only where there is more than one processor: on one the threads would only take
// turns.
JobOptions defaultJobOptions();

// Why a job failed, for front ends that say more than the result code.
enum class JobStep : uint32_t {
    None,
    NoMemory,
    KeyNotReady,   // no key file, or one of 0 bytes
    KeyTooLong,    // a key string that does not fit the key buffer
    KeyUnreadable, // the key file cannot be opened or read
    KeyShort,      // the key file holds fewer bytes than the job uses
    KeyIsInput,    // the key file is the input itself: the output would be all zeros
    NameUnusable,  // no output name, or an output path too long
    InputUnreadable,
    InputTooLarge,  // 4 GiB or more of payload
    InputTruncated, // shorter than its container header
    OutputIsInput,
    OutputIsKey,
    OutputExists,
    OutputNotCreated,
    WriteFailed,
    MoveFailed,
    Declined, // whoever runs the job did not let it go on (the user, or a rule in the user's place)
};

struct JobOutcome {
    uint32_t result; // JobResult
    JobStep failedAt;
    bool timesSet; // a decrypted file carries its stored times
    char outputName[kTextCapacity];
    char outputPath[kTextCapacity]; // the folder and the name, once both are known
};

// Runs the job that `request` describes and leaves its output in place or nothing at all.
JobOutcome runJobOperation(const JobRequest& request, const FileLayer& files, const JobOptions& options);

enum class HeaderRead { Ok, Unreadable, NotContainer };

// Reads and decodes the header at the start of the file at `path`. Its texts stay as stored:
// textFromStored with the layer's code page gives them in UTF-8.
HeaderRead readContainerHeader(const FileLayer& files, const char* path, ContainerHeader& header);
