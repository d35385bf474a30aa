// What the main dialog does when the user works it.
#pragma once

#include <windows.h>

#include <shellapi.h>

void onCommand(HWND window, int id, int notification);
void onDropFiles(HWND window, HDROP drop);
// The Go button: the job the dialog describes, handed to a worker of its own.
void startJob(HWND window);
