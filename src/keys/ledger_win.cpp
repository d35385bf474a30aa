#include "keys/ledger_win.h"

#include <cstdio>
#include <cstring>

#include "keys/keyfiles_win.h"
#include "keys/keygen_win.h"
#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

// How long a copy waits for another to finish with the ledger: its work there takes moments, so
// a lock held longer is another program's, which is waited for before the use goes unchecked.
constexpr int kLedgerLockTries = 600;

WinLedger& ledgerOf(void* context) {
    return *static_cast<WinLedger*>(context);
}

// Where a ledger that cannot be read is kept whole: the first name not taken.
void nameAside(WinLedger& l) {
    for (int n = 1; n < 100; ++n) {
        char name[48];
        std::snprintf(name, sizeof name, n == 1 ? "KeyLedger.damaged.txt" : "KeyLedger.damaged-%d.txt", n);
        if (!joinText(l.folder, name, l.asidePath)) {
            break;
        }
        if (winFileAttributes(l.asidePath) == INVALID_FILE_ATTRIBUTES) {
            return;
        }
    }
    l.asidePath[0] = '\0';
}

LedgerOpen openLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    if (l.path[0] == '\0') {
        return LedgerOpen::NoPlace;
    }
    const LockResult locked = lockKeyFile(l.lockPath, l.lock, kLedgerLockTries);
    if (locked == Busy) {
        return LedgerOpen::Busy;
    }
    nameAside(l);
    // Shared for reading: a program that only looks at the ledger does not make it unreadable.
    l.reading = Handle(winCreateFile(l.path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    if (l.reading.valid()) {
        return LedgerOpen::Opened;
    }
    DWORD why = GetLastError();
    if (why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND) {
        return LedgerOpen::Unreadable;
    }
    // Where the lock cannot be made (a medium that cannot be written), no ledger can be kept.
    return locked == Locked ? LedgerOpen::Absent : LedgerOpen::NoPlace;
}

int64_t readLedger(void* context, uint8_t* buffer, uint32_t count) {
    return keyFileOps().read(ledgerOf(context).reading, buffer, count);
}

// Only the copy holding the lock writes; without the lock nothing is written.
bool beginLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    if (!l.lock.valid()) {
        return false;
    }
    l.writing = Handle(keyFileOps().open(l.newPath, GENERIC_WRITE, CREATE_ALWAYS));
    return l.writing.valid();
}

bool writeLedger(void* context, const uint8_t* buffer, uint32_t count) {
    return keyFileOps().write(ledgerOf(context).writing, buffer, count);
}

bool beginAside(void* context) {
    WinLedger& l = ledgerOf(context);
    if (!l.lock.valid() || l.asidePath[0] == '\0') {
        return false;
    }
    l.aside = Handle(keyFileOps().open(l.asidePath, GENERIC_WRITE, CREATE_NEW));
    return l.aside.valid();
}

bool writeAside(void* context, const uint8_t* buffer, uint32_t count) {
    return keyFileOps().write(ledgerOf(context).aside, buffer, count);
}

bool flushAndClose(Handle& file) {
    bool flushed = keyFileOps().flush(file);
    return file.close() && flushed;
}

// On disk before it takes the old ledger's place: a power cut leaves one or the other whole, and
// a copy kept aside is whole before the ledger it keeps is replaced.
bool commitLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    if (l.aside.valid() && !flushAndClose(l.aside)) {
        return false;
    }
    bool written = flushAndClose(l.writing);
    l.reading.close();
    return written && keyFileOps().rename(l.newPath, l.path);
}

void closeLedger(void* context) {
    WinLedger& l = ledgerOf(context);
    if (l.writing.valid()) {
        l.writing.close();
        keyFileOps().remove(l.newPath);
    }
    if (l.aside.valid()) {
        l.aside.close();
        keyFileOps().remove(l.asidePath);
    }
    l.reading.close();
    l.lock.close();
}

bool ledgerRandom(void*, uint8_t* buffer, size_t count) {
    return systemRandomBytes(buffer, count);
}

bool holdPath(const WinLedger& l, uint64_t id, char (&path)[kTextCapacity]) {
    char name[48];
    std::snprintf(name, sizeof name, "KeyLedger.%016llx.job", static_cast<unsigned long long>(id));
    return joinText(l.folder, name, path);
}

// Open without sharing for as long as the job runs, and gone with its last handle: the system
// closes it however the process ends.
bool holdJob(void* context, uint64_t id) {
    WinLedger& l = ledgerOf(context);
    char path[kTextCapacity];
    for (WinLedger::Hold& hold : l.holds) {
        if (!hold.file.valid()) {
            hold.file = Handle(holdPath(l, id, path) ? winCreateFile(path, GENERIC_WRITE | DELETE, 0,
                                                                     CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE)
                                                     : INVALID_HANDLE_VALUE);
            hold.id = id;
            return hold.file.valid();
        }
    }
    return false;
}

void releaseJob(void* context, uint64_t id) {
    for (WinLedger::Hold& hold : ledgerOf(context).holds) {
        if (hold.id == id) {
            hold.file.close();
            hold.id = 0;
        }
    }
}

bool jobHeld(void* context, uint64_t id) {
    WinLedger& l = ledgerOf(context);
    char path[kTextCapacity];
    if (!holdPath(l, id, path)) {
        return false;
    }
    // A leftover nobody holds goes with this handle.
    Handle file(winCreateFile(path, GENERIC_READ | DELETE, 0, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE));
    return !file.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

} // namespace

void windowsLedgerFiles(const char* dataFolder, WinLedger& ledger, LedgerFiles& files) {
    if (!copyText(dataFolder, ledger.folder) || !joinText(dataFolder, kLedgerFileName, ledger.path) ||
        !joinText(dataFolder, "KeyLedger.lck", ledger.lockPath) ||
        !joinText(dataFolder, "KeyLedger.new", ledger.newPath)) {
        ledger.path[0] = '\0';
    }
    if (dataFolder[0] == '\0') {
        ledger.path[0] = '\0';
    }
    std::memset(&files, 0, sizeof files);
    files.context = &ledger;
    files.open = openLedger;
    files.read = readLedger;
    files.begin = beginLedger;
    files.write = writeLedger;
    files.beginAside = beginAside;
    files.writeAside = writeAside;
    files.commit = commitLedger;
    files.close = closeLedger;
    files.random = ledgerRandom;
    files.hold = holdJob;
    files.release = releaseJob;
    files.held = jobHeld;
    files.path = ledger.path;
    files.asidePath = ledger.asidePath;
}
