// Writing "KeyFile.txt": the random key generator, and the writer that the KeyStore's draw uses.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <cstdint>

#include "engine/paths.h"
#include "keys/keyfile.h"
#include "text/text.h"

// "KeyFile.txt" in the output folder, and the temporary name beside it under which a new key is
// written until it is whole.
struct KeyFileDraft {
    char path[kTextCapacity];
    char draft[kPartialPathCapacity];
};
// Creates `folder` (one level) and names both files; false when the folder is empty or the
// names do not fit. Nothing is written: the key's file is created new when the key is, so the
// names can be recorded before anything is.
bool prepareKeyFile(const char* folder, KeyFileDraft& key);
// True when "KeyFile.txt" is there already (a file, not a folder).
bool keyFileExists(const KeyFileDraft& key);

// Writes `length` bytes that `fill` supplies a portion at a time into the draft, a new file,
// and flushes it. On failure the draft is removed.
DraftResult writeKeyDraft(const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context);
// Writes the draft and renames it to "KeyFile.txt", replacing an older one only then. DraftWritten
// when the key file is in place; DraftFillFailed, with nothing written, when `fill` failed.
DraftResult writeKeyFile(const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context);

// The system's cryptographic random source under the program's own key container.
bool acquireRandomSource(HCRYPTPROV& source);
// A KeyBytesSource over an acquired source (the context is the HCRYPTPROV).
bool randomKeyBytes(void* source, uint8_t* buffer, uint32_t count);
// `count` bytes from the program's random source, acquired and released around them.
bool systemRandomBytes(uint8_t* buffer, size_t count);
