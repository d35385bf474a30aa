// The Go button: the job the dialog describes, handed to a worker of its own.
#pragma once

#include <windows.h>

void startJob(HWND window);
