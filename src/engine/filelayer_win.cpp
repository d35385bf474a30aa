#include "engine/filelayer_win.h"

#include <windows.h>

#include <mutex>

#include "engine/paths.h"
#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

// The temporary output being written, and whether the process has given it up. A process has
// one job at a time; the lock guards the hand-over between the job and an ending program.
std::mutex gOutputLock;
HANDLE gOutput = INVALID_HANDLE_VALUE;
char gOutputPath[kPartialPathCapacity];
bool gRemovedOnClose = false;
bool gAbandoned = false;
// Why a write to it failed. The writes may run on a thread of their own; the thread that closes
// the output takes the reason over as its last error, as if it had written itself, so that the
// console tool can say why.
DWORD gWriteError = ERROR_SUCCESS;
// Why the job's last failing file call failed, for the message that reports the job: the
// calls after it (closing, removing, the key-use ledger) must not put their own in its place.
DWORD gFailure = ERROR_SUCCESS;

// Keeps the call's reason when it failed; passes its result on.
template <typename T>
T noted(T result, bool failed) {
    if (failed) {
        DWORD why = GetLastError();
        std::lock_guard<std::mutex> hold(gOutputLock);
        gFailure = why;
        SetLastError(why);
    }
    return result;
}

HANDLE handleOf(FileRef f) {
    return reinterpret_cast<HANDLE>(f);
}

FileRef refOf(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileRef>(h);
}

uint64_t fromFileTime(const FILETIME& f) {
    return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

FILETIME toFileTime(uint64_t t) {
    FILETIME f;
    f.dwLowDateTime = DWORD(t);
    f.dwHighDateTime = DWORD(t >> 32);
    return f;
}

FileRef openRead(void*, const char* path) {
    FileRef f = refOf(openForReading(path));
    return noted(f, f == kNoFile);
}

// Delete sharing lets an ending program remove the file while the job still holds it; the
// delete disposition makes the system remove it if the process dies mid-job (a decryption's
// partial output is plaintext). Where the system cannot set it, the job goes on without.
FileRef createNew(void*, const char* path) {
    HANDLE h = winCreateFile(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) {
        return noted(kNoFile, true);
    }
    bool removedOnClose = setDeleteOnClose(h, true);
    std::lock_guard<std::mutex> hold(gOutputLock);
    gOutput = h;
    gRemovedOnClose = removedOnClose;
    gWriteError = ERROR_SUCCESS;
    copyText(path, gOutputPath);
    return refOf(h);
}

int64_t readFile(void*, FileRef f, uint8_t* buffer, uint32_t count) {
    return readFully(handleOf(f), buffer, count);
}

bool writeFile(void*, FileRef f, const uint8_t* buffer, uint32_t count) {
    {
        std::lock_guard<std::mutex> hold(gOutputLock);
        if (gAbandoned) {
            return false;
        }
    }
    if (writeFully(handleOf(f), buffer, count)) {
        return true;
    }
    DWORD error = GetLastError();
    std::lock_guard<std::mutex> hold(gOutputLock);
    gWriteError = error;
    gFailure = error;
    return false;
}

int64_t sizeOf(void*, FileRef f) {
    return fileSize(handleOf(f));
}

bool seek(void*, FileRef f, uint64_t position) {
    return seekTo(handleOf(f), position);
}

bool getTimes(void*, FileRef f, FileTimes& times) {
    FILETIME c, a, w;
    if (!GetFileTime(handleOf(f), &c, &a, &w)) {
        return false;
    }
    times = FileTimes{fromFileTime(c), fromFileTime(a), fromFileTime(w)};
    return true;
}

bool setTimes(void*, FileRef f, const FileTimes& times) {
    FILETIME c = toFileTime(times.creation), a = toFileTime(times.lastAccess),
             w = toFileTime(times.lastWrite);
    return SetFileTime(handleOf(f), &c, &a, &w) != 0;
}

// The output is kept past its closing only when the job has not been given up; the operation
// closes it only once every byte is written, or to remove it.
bool closeFile(void*, FileRef f) {
    HANDLE h = handleOf(f);
    std::lock_guard<std::mutex> hold(gOutputLock);
    bool kept = true;
    DWORD writeError = ERROR_SUCCESS;
    if (h == gOutput) {
        kept = !gAbandoned && (!gRemovedOnClose || setDeleteOnClose(h, false));
        gOutput = INVALID_HANDLE_VALUE;
        writeError = gWriteError;
    }
    bool closed = CloseHandle(h) != 0;
    if (writeError != ERROR_SUCCESS) {
        SetLastError(writeError);
    }
    return closed && kept;
}

bool sameFile(void*, const char* path, FileRef open, const char* openPath) {
    return namesOpenFile(path, handleOf(open), openPath);
}

bool exists(void*, const char* path) {
    return winFileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

uint32_t attributes(void*, const char* path) {
    return winFileAttributes(path);
}

void makeFolder(void*, const char* path) {
    winCreateFolder(path);
}

bool renameFile(void*, const char* from, const char* to, bool replace) {
    std::lock_guard<std::mutex> hold(gOutputLock);
    if (gAbandoned) {
        return false;
    }
    bool moved = winMoveFile(from, to, replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (moved) {
        gOutputPath[0] = '\0';
    } else {
        gFailure = GetLastError(); // under the lock already
    }
    return moved;
}

bool removeFile(void*, const char* path) {
    std::lock_guard<std::mutex> hold(gOutputLock);
    gOutputPath[0] = '\0';
    return winDeleteFile(path);
}

uint32_t uniqueNumber(void*) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return GetCurrentProcessId() * 2654435761u ^ uint32_t(now.QuadPart) ^ uint32_t(now.QuadPart >> 32);
}

void* take(void*, size_t bytes) {
    return takeMemory(bytes);
}

void release(void*, void* memory) {
    releaseMemory(memory);
}

} // namespace

FileLayer windowsFileLayer() {
    // By member name: a reordered layer cannot wire the wrong function.
    FileLayer layer{};
    layer.separator = '\\';
    layer.openRead = openRead;
    layer.createNew = createNew;
    layer.read = readFile;
    layer.write = writeFile;
    layer.size = sizeOf;
    layer.seek = seek;
    layer.getTimes = getTimes;
    layer.setTimes = setTimes;
    layer.close = closeFile;
    layer.sameFile = sameFile;
    layer.exists = exists;
    layer.attributes = attributes;
    layer.makeFolder = makeFolder;
    layer.rename = renameFile;
    layer.remove = removeFile;
    layer.uniqueNumber = uniqueNumber;
    layer.takeMemory = take;
    layer.releaseMemory = release;
    layer.codePage = LegacyCodePage{toCodePage, fromCodePage};
    return layer;
}

void beginJobOutput() {
    std::lock_guard<std::mutex> hold(gOutputLock);
    gAbandoned = false;
    gOutputPath[0] = '\0';
    gFailure = ERROR_SUCCESS;
}

DWORD jobFailure() {
    std::lock_guard<std::mutex> hold(gOutputLock);
    return gFailure;
}

void abandonJobOutput() {
    std::lock_guard<std::mutex> hold(gOutputLock);
    gAbandoned = true;
    if (gOutputPath[0] != '\0') {
        // The job still holds it open; it goes when its last handle closes.
        winDeleteFile(gOutputPath);
    }
}

bool jobOutputAbandoned() {
    std::lock_guard<std::mutex> hold(gOutputLock);
    return gAbandoned;
}
