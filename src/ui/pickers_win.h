// The file and folder pickers of the main dialog.
#pragma once

#include <windows.h>

// Opens at `path`: a file, or a folder given with its trailing backslash; the documents folder
// when it is neither. True, with the chosen file in `path`, when one was chosen; a chosen path too
// long for the program is refused with a message.
bool chooseFile(HWND window, char* path);
// The output folder picker; true, with the folder in `path`, when one was chosen.
bool browseFolder(HWND window, char* path);
