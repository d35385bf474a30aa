// Loading an input file: the file decides whether the next job encrypts or decrypts.
#pragma once

#include <windows.h>

enum class LoadOutcome {
    Loaded,
    Unreadable,   // the file cannot be opened
    NotContainer, // a ".qdx" without a header this version reads
    Unusable,     // empty, or 4 GiB or more: passed over without a message
};

// Accepts `path` as the input of the next job; inputLoaded tells whether it was. `window` is the
// main dialog, or null before it exists (then fields stay as they are and messages have no
// parent). `keyGiven`: the command line has named a key, which a container's key file must not
// replace. `quiet`: the outcome is the caller's to report (a windowless run reports it in its
// exit code), so no message is shown.
LoadOutcome loadInputFile(HWND window, const char* path, bool keyGiven = false, bool quiet = false);
// The message for an input that could not be loaded (none for Loaded and Unusable).
void reportLoadOutcome(HWND window, LoadOutcome outcome, const char* path);
// The output folder becomes the folder of `path` (with its trailing backslash), in the record and
// in the window.
void takeOutputFolderFrom(HWND window, const char* path);
