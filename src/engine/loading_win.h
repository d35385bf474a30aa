// Loading an input file: the file decides whether the next job encrypts or decrypts.
#pragma once

#include <windows.h>

// Accepts `path` as the input of the next job; the outcome is inputLoaded. `window` is the
// main dialog, or null before it exists (then fields stay as they are and messages have no
// parent). `keyGiven`: the command line has named a key, which a container's key file must not
// replace.
void loadInputFile(HWND window, const char* path, bool keyGiven = false);
// The output folder becomes the folder of `path` (with its trailing backslash), in the record and
// in the window.
void takeOutputFolderFrom(HWND window, const char* path);
