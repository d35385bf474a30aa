// The job record, the main dialog's own values, and the one program-wide state that holds them.
#pragma once

#include <atomic>
#include <cstdint>

#include "text/text.h"

// Container header fields are 300 bytes: at most 299 bytes of text.
constexpr size_t kFieldCapacity = 300;
// The window's key string field gives the key stream at most this many bytes, as it always has.
constexpr size_t kKeyFieldBytes = 289;

enum Direction : uint32_t { Decrypt = 0, Encrypt = 1 };
enum CipherMode : uint32_t { ModeXor = 0, ModeClassic = 1 };
enum KeySource : uint32_t { SourceDrive = 0, SourceFile = 1, SourceString = 2 };

// progress: 0 no job, 100 started, 100 + p percent done, 200 ended.
constexpr uint32_t kProgressIdle = 0;
constexpr uint32_t kProgressStarted = 100;
constexpr uint32_t kProgressEnded = 200;

// resultCode values; 10 and above end a job without any message.
enum JobResult : uint32_t {
    ResultOk = 0,
    ResultReadError = 1,
    ResultNoKey = 2,
    ResultNoMemory = 3,
    ResultWriteError = 4,
    ResultAbandoned = 10,
};

struct JobSettings {
    char inputPath[kTextCapacity];
    // The folder that receives the output; from the worker's step 7 on, the full output path.
    char outputFolder[kTextCapacity];
    char outputName[kTextCapacity];
    char plainName[kTextCapacity];
    char description[kFieldCapacity];
    // The key file's path, or the key string itself when keyIsFile is 0.
    char keyPath[kTextCapacity];
    uint32_t keyIsFile;
    uint32_t saveKeyName;
    uint32_t keyBytes;
    uint32_t inputSize;
    uint32_t headerLength;
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
    uint32_t fileAttributes;

    // Written by the worker while the window polls them: resultCode and jobTime are stored
    // before progress = 200 (release), and read only after 200 has been seen (acquire).
    std::atomic<uint32_t> progress;
    std::atomic<uint32_t> resultCode;
    std::atomic<uint32_t> jobTime;
};

struct DialogState {
    uint32_t inputLoaded;
    Direction direction;
    CipherMode cipherMode;
    KeySource keySource;
    uint32_t keyReady;
    // The key file path is one that a container names and that has not been opened yet: the
    // job opens it when it starts.
    uint32_t keyPending;
    uint32_t useDescription;
    uint32_t nextDropIsKey;
    uint32_t onTop;
};

struct ProgramState {
    JobSettings job;
    DialogState dialog;
    // The main window once it has opened; empty in a run without a window and again once the
    // window is gone. The job worker reads it while the dialog's thread may be clearing it.
    std::atomic<void*> mainWindow;
};

// The one program-wide state.
extern ProgramState gState;

// Every field zero or empty, direction Encrypt: the state at program start.
void resetProgramState(ProgramState& state);
