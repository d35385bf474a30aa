// Files and folders dropped on the main dialog: an input, then its key, or an output folder.
#pragma once

#include <windows.h>

#include <shellapi.h>

void onDropFiles(HWND window, HDROP drop);
