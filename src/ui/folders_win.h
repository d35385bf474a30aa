// What the window knows of the program around it, handed over by start-up before the window
// opens, and opening files through the shell.
#pragma once

#include <windows.h>

#include "text/text.h"

struct ProgramPlace {
    HINSTANCE instance;
    HWND toolTip; // the one tool tip control of every window; null for none
    // Each ends with a backslash; programFolder is empty when the program file is not found.
    const char* programFolder;
    const char* dataFolder;
};

// Empty folders until start-up hands the program's own over.
extern ProgramPlace gPlace;

// Hands a file, folder, web or mail address to its default handler; the outcome is not tested.
void openWithShell(const char* target);
// Opens "ReadMe.htm" beside the program the same way.
void openReadMe();
// The user's Desktop folder, without a trailing backslash, into a kTextCapacity buffer.
void desktopFolder(char* buffer);
