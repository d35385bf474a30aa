// The key material tools of the main dialog: drive key files, the generator, the analyser and
// the KeyStore.
#pragma once

#include <windows.h>

#include <cstdint>

// Drive key files: the drives that carry a "KeyRing.txt" index and the key files it lists.
uint32_t scanDrives(HWND window);
uint32_t readDriveIndex(HWND window);
void resolveDriveEntry();
// The key file list's selection moved to `position`: when it differs from the selected entry
// the entry is taken and resolved into keyPath. False when nothing changed.
bool selectDriveEntry(uint32_t position);

void createKeyFile(HWND window);
void analyseKeyFile(HWND window);

void checkKeyStore(HWND window);
void keyStoreCommand(HWND window);
