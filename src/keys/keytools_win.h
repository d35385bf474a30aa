// The key material tools of the main dialog: drive key files, the generator, the analyser and
// the KeyStore.
#pragma once

#include <windows.h>

#include <cstdint>

#include "keys/keystore.h"

// Drive key files: the drives that carry a "KeyRing.txt" index and the key files it lists.
// The scan fills the drive list (1013), reads the first drive's index into the key file list
// (1014) and resolves its first entry into keyPath; 1 when that index has an entry.
uint32_t scanDrives(HWND window);
uint32_t readDriveIndex(HWND window);
void resolveDriveEntry();
// The key file list's selection moved to `position`: when it differs from the selected entry
// the entry is taken and resolved into keyPath. False when nothing changed.
bool selectDriveEntry(uint32_t position);

// Makes "KeyFile.txt" in the output folder from `length` bytes that `fill` supplies a portion
// at a time, and adopts it as the key file. Returns false, writing nothing, when `fill` fails.
using KeyBytesSource = bool (*)(void* context, uint8_t* buffer, uint32_t count);
bool writeKeyFile(HWND window, uint32_t length, KeyBytesSource fill, void* context);

void createKeyFile(HWND window);
void analyseKeyFile(HWND window);

// The KeyStore: its status is set at start-up and changed by every fill and draw.
void checkKeyStore(HWND window);
void fillKeyStore(HWND window);
void drawKeyFile(HWND window);
void keyStoreCommand(HWND window);
KeyStoreStatus keyStoreStatus();
