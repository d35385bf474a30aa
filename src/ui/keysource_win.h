// The key the dialog holds and where it comes from: key file adoption in the window, and the
// drive key file lists.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/dialog.h"

// Measures the file at `path` and makes it the dialog's key file, or clears the key file choice
// when it cannot be opened. The key fields show the result and, in XOR mode, a key shorter than
// the input brings the size advice. `window` may be null: nothing is shown then.
void adoptKeyFile(HWND window, const char* path);
// Makes `path` the dialog's key file without opening it: the field shows it, no key is ready,
// and the job adopts it when it starts.
void holdKeyFile(HWND window, const char* path);

// Marks one key source button and takes that source.
void markKeySource(HWND window, KeySource source);

// Fills the drive list with the drives that carry a "KeyRing.txt" index, reads the first
// drive's index into the key file list and resolves its first entry into the dialog's key path;
// 1 when that index has an entry.
uint32_t scanDrives(HWND window);
// Reads the index of the drive the drive list shows; 1 when it has an entry, resolved as above.
uint32_t showDriveIndex(HWND window);
// The key file list's selection moved to `position`: a different entry is resolved into the
// dialog's key path. False when nothing changed.
bool chooseDriveEntry(uint32_t position);
