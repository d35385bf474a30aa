// The key-use ledger's files on Windows.
#pragma once

#include <windows.h>

#include "keys/keyledger.h"
#include "text/text.h"
#include "win/handle_win.h"

// One ledger and what is open of it while the core reads or replaces it, with the holds of the
// jobs this process runs.
struct WinLedger {
    char folder[kTextCapacity] = "";
    char path[kTextCapacity] = "";
    char lockPath[kTextCapacity] = "";
    char newPath[kTextCapacity] = "";
    char asidePath[kTextCapacity] = "";
    Handle lock, reading, writing, aside;
    struct Hold {
        uint64_t id = 0;
        Handle file;
    } holds[4];
};

// The ledger "KeyLedger.txt" in `dataFolder` (which ends with a backslash). An empty or
// unusable folder gives a ledger that says there is no place for one.
void windowsLedgerFiles(const char* dataFolder, WinLedger& ledger, LedgerFiles& files);
