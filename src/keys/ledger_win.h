// The key-use ledger's files on Windows, and the data folder it lives in.
#pragma once

#include <windows.h>

#include "keys/keyledger.h"
#include "text/text.h"

// One ledger and what is open of it while the core reads or replaces it, with the holds of the
// jobs this process runs.
struct WinLedger {
    char folder[kTextCapacity];
    char path[kTextCapacity];
    char lockPath[kTextCapacity];
    char newPath[kTextCapacity];
    char asidePath[kTextCapacity];
    HANDLE lock;
    HANDLE reading;
    HANDLE writing;
    HANDLE aside;
    struct Hold {
        uint64_t id;
        HANDLE file;
    } holds[4];
};

// The ledger "KeyLedger.txt" in `dataFolder` (which ends with a backslash). An empty or
// unusable folder gives a ledger that says there is no place for one.
void windowsLedgerFiles(const char* dataFolder, WinLedger& ledger, LedgerFiles& files);

// The program's data folder for a program in `programFolder` (both end with a backslash): the
// program's own folder on a removable drive or without the marker "DefSet.txt", else the
// per-user folder, made when missing.
void settleDataFolder(const char* programFolder, char* dataFolder, size_t capacity);
