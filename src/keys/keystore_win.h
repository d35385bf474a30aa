// The KeyStore's files on Windows: start-up check, fill and draw. Each returns what it did; the
// window shows it.
#pragma once

#include <cstdint>

#include "engine/messages.h"
#include "keys/keygen_win.h"
#include "keys/keystore.h"
#include "text/text.h"

// What a fill or draw has to tell the user: lead "path" tail. No lead: nothing to say.
struct KeyStoreNotice {
    const char* lead;
    char path[kTextCapacity];
    const char* tail;
};

struct KeyStoreReport {
    bool statusChanged; // false: the status stays as it was
    KeyStoreStatus status;
    KeyStoreNotice notice;
    char keyFile[kTextCapacity]; // a draw's new key file; empty when none was made
    // The start-up check: what it settled of a draw that an ended run left (a key put in place,
    // or drawn bytes given up); empty when nothing is to be said.
    char repaired[kMessageCapacity];
};

// Settles what an interrupted fill or draw left, measures the store or else the pad files, and
// fills a store below the minimum. Touches no window: the start-up worker runs it.
KeyStoreReport checkKeyStoreFiles();
// Moves the pad file into the store.
KeyStoreReport fillKeyStoreFiles();
// Draws the key for an input of inputSize bytes from the front of the store into key->path: as
// many bytes as the user was offered from a store of storeSizeSeen bytes, or none at all. A null
// key (its names could not be made in `folder`) draws nothing.
KeyStoreReport drawKeyStoreFile(const KeyFileDraft* key, const char* folder, uint32_t inputSize,
                                uint32_t storeSizeSeen);
