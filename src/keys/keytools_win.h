// The key material tools of the main dialog: drive key files, the generator, the analyser and
// the KeyStore.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <cstdint>

#include "engine/paths.h"
#include "keys/keystore.h"
#include "text/text.h"

// Drive key files: the drives that carry a "KeyRing.txt" index and the key files it lists.
// The scan fills the drive list (1013), reads the first drive's index into the key file list
// (1014) and resolves its first entry into keyPath; 1 when that index has an entry.
uint32_t scanDrives(HWND window);
uint32_t readDriveIndex(HWND window);
void resolveDriveEntry();
// The key file list's selection moved to `position`: when it differs from the selected entry
// the entry is taken and resolved into keyPath. False when nothing changed.
bool selectDriveEntry(uint32_t position);

// "KeyFile.txt" in the output folder, and the temporary name beside it under which a new key is
// written until it is whole.
struct KeyFileDraft {
    char path[kTextCapacity];
    char draft[kPartialPathCapacity];
};
// Reads the output folder field into outputFolder, creates that folder (one level) and names
// both files; false when the folder is empty or the names do not fit.
bool prepareKeyFile(HWND window, KeyFileDraft& key);
// When "KeyFile.txt" is there already, asks before it is replaced: false keeps it.
bool mayReplaceKeyFile(HWND window, const KeyFileDraft& key);

// Writes `length` bytes that `fill` supplies a portion at a time into the draft, a new file,
// and flushes it. On failure the draft is removed.
using KeyBytesSource = bool (*)(void* context, uint8_t* buffer, uint32_t count);
enum DraftResult { DraftWritten, DraftFillFailed, DraftWriteFailed };
DraftResult writeKeyDraft(const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context);
// Writes the draft, renames it to "KeyFile.txt" and adopts that (or clears the key choice when it
// could not be written). Returns false, writing nothing, when `fill` fails.
bool writeKeyFile(HWND window, const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context);

// The system's cryptographic random source under the program's own key container.
bool acquireRandomSource(HCRYPTPROV& source);
void createKeyFile(HWND window);
void analyseKeyFile(HWND window);

// The KeyStore: its status is set at start-up and changed by every fill and draw.
void checkKeyStore(HWND window);
void fillKeyStore(HWND window);
void drawKeyFile(HWND window);
// The KeyStore button, on the dialog's thread. Pressed before the start-up check has measured
// the store, it waits: runWaitingKeyStoreCommand, which the dialog's thread runs once the
// check is over, gives the answer then.
void keyStoreCommand(HWND window);
void runWaitingKeyStoreCommand(HWND window);
KeyStoreStatus keyStoreStatus();
