// Loading an input file into the window: the file decides whether the next job encrypts or
// decrypts, and the dialog shows what was found.
#pragma once

#include <windows.h>

#include "engine/input_win.h"

// Accepts `path` as the input of the next job when the outcome is Loaded; an empty file, or one
// larger than a job takes, leaves the file loaded before as it was. `quiet`: the outcome is the
// caller's to report, so no message is shown.
LoadOutcome loadInputFile(HWND window, const char* path, bool quiet = false);
// The message for an input that could not be loaded (none for Loaded), with the system's reason
// for `error` when there is one; `window` may be null, before the window exists.
void reportLoadOutcome(HWND window, LoadOutcome outcome, const char* path, uint32_t error = 0);
// The output folder field becomes the folder of `path`, with its trailing backslash.
void takeOutputFolderFrom(HWND window, const char* path);
