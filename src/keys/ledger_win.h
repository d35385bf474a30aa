// The key-use ledger's file on Windows, and the data folder it lives in.
#pragma once

#include <windows.h>

#include "keys/keyledger.h"
#include "text/text.h"

// One ledger file and what is open of it while the core reads or replaces it.
struct WinLedger {
    char path[kTextCapacity];
    char lockPath[kTextCapacity];
    char newPath[kTextCapacity];
    HANDLE lock;
    HANDLE reading;
    HANDLE writing;
};

// The ledger "KeyLedger.txt" in `dataFolder` (which ends with a backslash); false when the path
// does not fit, and then `files` is left without a ledger.
bool windowsLedgerFiles(const char* dataFolder, WinLedger& ledger, LedgerFiles& files);

// The program's data folder for a program in `programFolder` (both end with a backslash): the
// program's own folder on a removable drive or without the marker "DefSet.txt", else the
// per-user folder, made when missing.
void settleDataFolder(const char* programFolder, char* dataFolder, size_t capacity);
