// The About dialog: name, version, the vendor's addresses, the program's folders and a line
// describing the system.
#pragma once

#include <windows.h>

void aboutDialog(HWND owner);
bool aboutDialogOpen();
// One line describing the running system, into a 600-byte buffer.
void describeOperatingSystem(char* buffer);
