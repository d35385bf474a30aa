// The program-wide start-up record and folders, and opening files through the shell. Set once
// by start-up, read everywhere below it: this header needs nothing of the program above it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "text/text.h"

struct AppContext {
    HINSTANCE instance;
    HWND toolTip; // the one tool tip control of every window
};

// Lives until the process ends.
extern AppContext* gApp;
// Each ends with a backslash; programFolder is empty when the program file is not found.
extern char programFolder[kTextCapacity];
extern char dataFolder[kTextCapacity];

// Every end of the process after start-up gives this code (0x00400000). A windowless job that
// failed adds its result code, so that a script can tell.
constexpr uint32_t kExitCode = 4194304;

// Hands a file, folder, web or mail address to its default handler; the outcome is not tested.
void openWithShell(const char* target);
// Opens "ReadMe.htm" beside the program the same way.
void openReadMe();
// The user's Desktop folder, without a trailing backslash, into a kTextCapacity buffer.
void desktopFolder(char* buffer);
