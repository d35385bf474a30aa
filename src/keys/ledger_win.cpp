#include "keys/ledger_win.h"

#include <cstring>

#include "engine/files_win.h"
#include "keys/keygen_win.h"
#include "text/wide_win.h"

namespace {

// How long a copy waits for another to finish with the ledger: its work there takes moments.
constexpr int kLockTries = 100;
constexpr DWORD kLockPause = 50;

WinLedger& ledgerOf(void* context) {
    return *static_cast<WinLedger*>(context);
}

void closeHandle(HANDLE& h) {
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
}

// The lock file opened without sharing: the system lets go of it however the program ends.
// Where it cannot be made at all (a medium that cannot be written), nobody can change the
// ledger and it is read without.
bool takeLock(WinLedger& l) {
    for (int i = 0; i < kLockTries; ++i) {
        l.lock = winCreateFile(l.lockPath, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
        if (l.lock != INVALID_HANDLE_VALUE) {
            return true;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) {
            return true;
        }
        Sleep(kLockPause);
    }
    return false;
}

LedgerOpen openLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    if (!takeLock(l)) {
        return LedgerOpen::Unreadable;
    }
    l.reading = winCreateFile(l.path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (l.reading != INVALID_HANDLE_VALUE) {
        return LedgerOpen::Opened;
    }
    DWORD why = GetLastError();
    return why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND ? LedgerOpen::Absent
                                                                      : LedgerOpen::Unreadable;
}

int64_t readLedger(void* context, uint8_t* buffer, uint32_t count) {
    return readFully(ledgerOf(context).reading, buffer, count);
}

// One fixed name: only the copy holding the lock writes it, and a crash's leftover is replaced.
bool beginLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    l.writing = winCreateFile(l.newPath, GENERIC_WRITE, 0, CREATE_ALWAYS);
    return l.writing != INVALID_HANDLE_VALUE;
}

bool writeLedger(void* context, const uint8_t* buffer, uint32_t count) {
    return writeFully(ledgerOf(context).writing, buffer, count);
}

// On disk before it takes the old ledger's place: a power cut leaves one or the other whole.
bool commitLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    bool flushed = FlushFileBuffers(l.writing) != 0;
    bool closed = CloseHandle(l.writing) != 0;
    l.writing = INVALID_HANDLE_VALUE;
    closeHandle(l.reading);
    return flushed && closed &&
           winMoveFile(l.newPath, l.path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

void closeLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    if (l.writing != INVALID_HANDLE_VALUE) {
        closeHandle(l.writing);
        winDeleteFile(l.newPath);
    }
    closeHandle(l.reading);
    closeHandle(l.lock);
}

bool ledgerRandom(void*, uint8_t* buffer, size_t count) {
    HCRYPTPROV source = 0;
    if (!acquireRandomSource(source)) {
        return false;
    }
    bool ok = randomKeyBytes(&source, buffer, uint32_t(count));
    CryptReleaseContext(source, 0);
    return ok;
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
