// The file operations that fill and draw the KeyStore and write key files, behind one table.
// The program always uses the real ones; a test swaps in its own to make any one of them fail,
// or all of them from some point on, as when the process ends there.
#pragma once

#include <windows.h>

#include <cstdint>

#include "win/handle_win.h"

struct KeyFileOps {
    // Opens without sharing (the wide CreateFileW of a UTF-8 path); INVALID_HANDLE_VALUE with the
    // last error set on failure.
    HANDLE (*open)(const char* path, DWORD access, DWORD disposition);
    // Until `count` bytes arrived or the file ended; -1 when a read fails.
    int64_t (*read)(HANDLE file, void* buffer, uint32_t count);
    bool (*write)(HANDLE file, const void* buffer, uint32_t count);
    bool (*seek)(HANDLE file, uint64_t position);
    // Cuts the file at its current position.
    bool (*cut)(HANDLE file);
    bool (*flush)(HANDLE file);
    // -1 when it cannot be taken.
    int64_t (*size)(HANDLE file);
    // Renames, replacing a file of the new name.
    bool (*rename)(const char* from, const char* to);
    // True when the file is gone, also when there was none; false when its folder cannot be
    // reached, which proves nothing about the file.
    bool (*remove)(const char* path);
    // Creates every missing level of the folder; true when it exists.
    bool (*makeFolder)(const char* path);
    // Waits before trying a lock again.
    void (*pause)(uint32_t milliseconds);
};

extern const KeyFileOps kRealKeyFileOps;
const KeyFileOps& keyFileOps();
// Tests only: null puts the real operations back.
void useKeyFileOps(const KeyFileOps* ops);

// True when the open failed because the file (or its folder) is not there.
bool missingFile(HANDLE opened);

// A lock file held open without sharing, so that one copy of the program at a time changes what
// it guards; the system lets go of it however the program ends. A copy that finds it held tries
// again every 50 ms, by default for about five seconds (the length of a large KeyStore fill),
// before it says Busy.
enum LockResult { Locked, Busy, NoFolder, LockFailed };
LockResult lockKeyFile(const char* path, Handle& lock, int tries = 100);
