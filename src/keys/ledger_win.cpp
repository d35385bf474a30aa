#include "keys/ledger_win.h"

#include <cstring>

#include "engine/files_win.h"
#include "keys/keyfiles_win.h"
#include "keys/keygen_win.h"
#include "text/wide_win.h"

namespace {

WinLedger& ledgerOf(void* context) {
    return *static_cast<WinLedger*>(context);
}

void closeHandle(HANDLE& h) {
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
}

LedgerOpen openLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    // Where the lock file cannot be made at all (a medium that cannot be written), nobody can
    // change the ledger and it is read without.
    if (lockKeyFile(l.lockPath, l.lock) == Busy) {
        return LedgerOpen::Unreadable;
    }
    // Shared for reading: a program that only looks at the ledger does not make it unreadable.
    l.reading = winCreateFile(l.path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (l.reading != INVALID_HANDLE_VALUE) {
        return LedgerOpen::Opened;
    }
    DWORD why = GetLastError();
    return why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND ? LedgerOpen::Absent
                                                                      : LedgerOpen::Unreadable;
}

int64_t readLedger(void* context, uint8_t* buffer, uint32_t count) {
    return keyFileOps().read(ledgerOf(context).reading, buffer, count);
}

// One fixed name: only the copy holding the lock writes it, and a crash's leftover is replaced.
bool beginLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    l.writing = keyFileOps().open(l.newPath, GENERIC_WRITE, CREATE_ALWAYS);
    return l.writing != INVALID_HANDLE_VALUE;
}

bool writeLedger(void* context, const uint8_t* buffer, uint32_t count) {
    return keyFileOps().write(ledgerOf(context).writing, buffer, count);
}

// On disk before it takes the old ledger's place: a power cut leaves one or the other whole.
bool commitLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    const KeyFileOps& io = keyFileOps();
    bool flushed = io.flush(l.writing);
    bool closed = CloseHandle(l.writing) != 0;
    l.writing = INVALID_HANDLE_VALUE;
    closeHandle(l.reading);
    return flushed && closed && io.rename(l.newPath, l.path);
}

void closeLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    if (l.writing != INVALID_HANDLE_VALUE) {
        closeHandle(l.writing);
        keyFileOps().remove(l.newPath);
    }
    closeHandle(l.reading);
    closeHandle(l.lock);
}

bool ledgerRandom(void*, uint8_t* buffer, size_t count) {
    return systemRandomBytes(buffer, count);
}

} // namespace

bool windowsLedgerFiles(const char* dataFolder, WinLedger& ledger, LedgerFiles& files) {
    std::memset(&files, 0, sizeof files);
    ledger.lock = ledger.reading = ledger.writing = INVALID_HANDLE_VALUE;
    if (dataFolder[0] == '\0' || !joinText(dataFolder, kLedgerFileName, ledger.path) ||
        !joinText(dataFolder, "KeyLedger.lck", ledger.lockPath) ||
        !joinText(dataFolder, "KeyLedger.new", ledger.newPath)) {
        return false;
    }
    files.context = &ledger;
    files.open = openLedger;
    files.read = readLedger;
    files.begin = beginLedger;
    files.write = writeLedger;
    files.commit = commitLedger;
    files.close = closeLedger;
    files.random = ledgerRandom;
    files.path = ledger.path;
    return true;
}

void settleDataFolder(const char* programFolder, char* dataFolder, size_t capacity) {
    copyText(programFolder, dataFolder, capacity);
    char root[4] = "";
    cutText(programFolder, 3, root);
    if (winDriveType(root) == DRIVE_REMOVABLE) {
        return; // portable: the data stays with the program on its medium
    }
    char marker[kTextCapacity];
    if (!joinText(programFolder, "DefSet.txt", marker) || !opensForReading(marker, FILE_SHARE_READ)) {
        return;
    }
    char base[kTextCapacity];
    if (!applicationDataFolder(base)) {
        return;
    }
    char path[kTextCapacity];
    if (joinText(base, "\\Orvensoft", path)) {
        winCreateFolder(path); // an existing folder, or one that cannot be made, is passed over
    }
    if (joinText(base, "\\Vostra", path)) {
        winCreateFolder(path);
        if (appendText(path, "\\Nimbrel")) {
            winCreateFolder(path);
            if (appendText(path, "\\")) {
                copyText(path, dataFolder, capacity);
            }
        }
    }
}
