// Key file adoption: the one way a key file enters the job, from whatever source.
#pragma once

#include <windows.h>

// Measures the file at `path` and makes it the job's key file, or clears the key file choice
// when it cannot be opened. With a window the key fields show the result and, in XOR mode, a
// key shorter than the input brings the size advice.
void adoptKeyFile(const char* path, HWND window);
// Makes `path` the job's key file without opening it: the field shows it, no key is ready, and
// the job adopts it when it starts.
void holdKeyFile(const char* path, HWND window);
