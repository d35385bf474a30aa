// What the main dialog does when the user works one of its controls: each command handed to the
// code that carries it out.
#pragma once

#include <windows.h>

void onCommand(HWND window, int id, int notification);
