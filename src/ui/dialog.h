// The main dialog's own values, and the one program-wide state that holds them.
//
// Which thread touches what:
// - The dialog's thread owns gState.dialog: only it reads or writes it, and once the window is
//   open only it shows message boxes.
// - The job worker runs on its own copy of the job request and writes nothing but gState.job,
//   the status record, which the dialog's thread polls on a timer (JobStatus says in what order).
// - The start-up worker touches nothing here: it sends each step that touches the window to the
//   dialog's thread, and posts the outcome of its KeyStore check there.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/job.h"
#include "keys/keystore.h"
#include "text/text.h"

// The input field while no file is loaded.
inline constexpr char kNoInputText[] = "None Selected";

enum KeySource : uint32_t { SourceDrive = 0, SourceFile = 1, SourceString = 2 };

// Whether the typed key string can be the key: its code-page bytes fit what the window keeps,
// and every character has a form in the code page (another would be another, weaker key).
enum class KeyTextState : uint32_t { Usable, OutsideCodePage, TooLong };

struct DialogState {
    // The input of the next job: what loading found.
    bool inputLoaded;
    char inputPath[kTextCapacity];
    uint32_t inputSize; // the plain file loaded last; the key length rules follow it
    Direction direction;
    CipherMode cipherMode;
    StoredFile stored; // a container's header
    bool useDescription;

    // The key file: adopted (measured, ready) or held (named by a container off this computer's
    // drives, opened only when the job starts).
    KeySource keySource;
    char keyPath[kTextCapacity];
    uint32_t keyBytes;
    bool keyReady;
    bool keyPending;

    bool nextDropIsKey;
    bool onTop;

    // What the fields hold, written at every change, the user's and the program's alike: Go
    // reads these, never the controls.
    char inputField[kTextCapacity];
    char outputFolder[kTextCapacity];
    char keyFileField[kTextCapacity]; // what the key file field shows
    char description[kFieldCapacity];
    bool saveKeyName;
    uint32_t byteCount; // the "Use N bytes" field; 0 when it holds no number
    // The typed key string as the key stream takes it: its bytes in the code page.
    char keyText[kTextCapacity];
    KeyTextState keyTextState;
    // The entry of the drive's key file list that is selected.
    uint32_t driveEntry;

    // The KeyStore as the start-up check, and every fill and draw since, left it. Until the check
    // is over a KeyStore press waits.
    KeyStoreStatus keyStoreStatus;
    bool keyStoreMeasured;
    bool keyStoreCommandWaiting;

    // The job started last, for its report.
    char jobInput[kTextCapacity];
    char jobOutputPath[kTextCapacity]; // its folder and its name
};

struct ProgramState {
    DialogState dialog;
    JobStatus job;
    // The main window once it has opened; empty again once it is gone. The job worker titles it
    // while the dialog's thread may be clearing it.
    std::atomic<void*> mainWindow{nullptr};
    // The key-use ledger's notes said this run (LedgerSituation bits): each kind is said once a
    // run, not after every job.
    uint32_t ledgerSaid = 0;
};

extern ProgramState gState;

// From the Go button's start of a job until its report has been shown.
inline bool jobRunning() {
    return gState.job.progress.load(std::memory_order_acquire) != kProgressIdle;
}

// Every field zero or empty, direction Encrypt: the dialog at program start.
void resetDialogState(DialogState& dialog);

// The typed key string, as its code-page bytes (`inCodePage` false when a character has no form
// there): the key the window keeps, or why it cannot be one.
void takeKeyString(DialogState& dialog, const char* codePageBytes, bool inCodePage);

// Why Go cannot build a job from the dialog as it is.
enum class RequestCheck { Ready, KeyStringOutsideCodePage, KeyStringTooLong };

// The job the dialog describes, from its state alone.
RequestCheck jobRequestFor(const DialogState& dialog, JobRequest& request);
