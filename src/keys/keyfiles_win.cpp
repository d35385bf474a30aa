#include "keys/keyfiles_win.h"

#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

HANDLE openFile(const char* path, DWORD access, DWORD disposition) {
    return winCreateFile(path, access, 0, disposition);
}

bool cutFile(HANDLE file) {
    return SetEndOfFile(file) != 0;
}

bool flushFile(HANDLE file) {
    return FlushFileBuffers(file) != 0;
}

bool renameFile(const char* from, const char* to) {
    return winMoveFile(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool removeFile(const char* path) {
    if (winDeleteFile(path)) {
        return true;
    }
    return GetLastError() == ERROR_FILE_NOT_FOUND;
}

void pauseFor(uint32_t milliseconds) {
    Sleep(milliseconds);
}

const KeyFileOps* gOps = &kRealKeyFileOps;

} // namespace

const KeyFileOps kRealKeyFileOps = {openFile,   readFully,          writeFully, seekTo,
                                    cutFile,    flushFile,          fileSize,   renameFile,
                                    removeFile, createFolderLevels, pauseFor};

const KeyFileOps& keyFileOps() {
    return *gOps;
}

void useKeyFileOps(const KeyFileOps* ops) {
    gOps = ops ? ops : &kRealKeyFileOps;
}

LockResult lockKeyFile(const char* path, Handle& lock, int lockTries) {
    constexpr uint32_t kLockPause = 50;
    const KeyFileOps& io = keyFileOps();
    for (int tries = 1;; ++tries) {
        lock = Handle(io.open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
        if (lock.valid()) {
            return Locked;
        }
        DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND) {
            return NoFolder;
        }
        if (error != ERROR_SHARING_VIOLATION) {
            return LockFailed;
        }
        if (tries >= lockTries) {
            return Busy;
        }
        io.pause(kLockPause);
    }
}

bool missingFile(HANDLE opened) {
    if (opened != INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
