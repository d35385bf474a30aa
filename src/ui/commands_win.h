// What the main dialog does when the user works one of its controls: each command handed to the
// code that carries it out.
#pragma once

#include <windows.h>

void onCommand(HWND window, int id, int notification);
// A field of the dialog changed (EN_CHANGE): its text goes into the dialog's state.
void keepDialogField(HWND window, int id);
