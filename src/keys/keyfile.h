// Writing a key file, the same way in every front end: under a temporary name beside the key
// ("nbk" + six letters or digits + ".tmp", the only drafts the KeyStore's recovery removes), a
// portion at a time, and given its name only once it is whole.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr char kKeyFileName[] = "KeyFile.txt";
inline constexpr char kKeyDraftPrefix[] = "nbk";
// Keys are made and written a portion at a time, so a key for a 2 GiB input needs no more memory
// than a small one.
constexpr uint32_t kKeyPortion = 1 << 20;

// The temporary name under which the key file `finalName` in `folder` is written.
bool keyDraftPath(const char* folder, const char* finalName, uint32_t pick, char* out, size_t capacity,
                  char separator = '\\');

using KeyBytesSource = bool (*)(void* context, uint8_t* buffer, uint32_t count);
using KeyBytesSink = bool (*)(void* context, const uint8_t* buffer, uint32_t count);
enum DraftResult { DraftWritten, DraftFillFailed, DraftWriteFailed };

// Moves `length` bytes from `fill` to `write` through `buffer` (kKeyPortion bytes), and leaves
// the buffer zeroed: it held key bytes. Stops at the first failure.
DraftResult fillKeyDraft(uint32_t length, uint8_t* buffer, KeyBytesSource fill, void* fillContext,
                         KeyBytesSink write, void* writeContext);
