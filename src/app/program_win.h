// The program's record: its module, the one tool tip control of every window, its two folders,
// and the code every end of the process gives. Start-up settles it once; it lives until the
// process ends, and the window is handed what it needs of it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "text/text.h"

struct ProgramRecord {
    HINSTANCE instance;
    HWND toolTip;
    // Each ends with a backslash; programFolder is empty when the program file is not found.
    char programFolder[kTextCapacity];
    char dataFolder[kTextCapacity];
};

extern ProgramRecord gProgram;

// Every end of the process after start-up gives this code (0x00400000). A windowless job that
// failed adds its result code, so that a script can tell.
constexpr uint32_t kExitCode = 4194304;

// Finds the program folder and settles portable or installed mode, creating the data folders.
void settleFolders(ProgramRecord& record);
