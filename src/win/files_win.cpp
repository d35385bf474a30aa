#include "win/files_win.h"

#include <shlobj.h>

#include "text/text.h"
#include "win/wide_win.h"

HANDLE openForReading(const char* path) {
    return winCreateFile(path, GENERIC_READ, 0, OPEN_EXISTING);
}

bool makeFullPath(const char* path, char* out, size_t capacity) {
    if (path[0] == '\0') {
        return copyText("", out, capacity);
    }
    return winFullPath(path, out, capacity);
}

bool opensForReading(const char* path, DWORD share) {
    HANDLE h = winCreateFile(path, GENERIC_READ, share, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
}

bool setDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

int64_t readFully(HANDLE file, void* buffer, uint32_t count) {
    uint32_t total = 0;
    while (total < count) {
        DWORD got = 0;
        if (!ReadFile(file, static_cast<uint8_t*>(buffer) + total, count - total, &got, nullptr)) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

bool writeFully(HANDLE file, const void* buffer, uint32_t count) {
    uint32_t total = 0;
    while (total < count) {
        DWORD put = 0;
        if (!WriteFile(file, static_cast<const uint8_t*>(buffer) + total, count - total, &put, nullptr) ||
            put == 0) {
            return false;
        }
        total += put;
    }
    return true;
}

int64_t fileSize(HANDLE file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        return -1;
    }
    return size.QuadPart;
}

uint32_t sizeAs32(int64_t size) {
    return size < 0 ? 0 : size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(size);
}

uint32_t fileSize32(HANDLE file) {
    return sizeAs32(fileSize(file));
}

bool applicationDataFolder(char* out) {
    return winSpecialFolder(CSIDL_APPDATA, out, kTextCapacity);
}

bool seekTo(HANDLE file, uint64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(position);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != 0;
}

bool createFolderLevels(const char* path) {
    char level[kTextCapacity];
    if (!copyText(path, level) || level[0] == '\0') {
        return false;
    }
    // Each separator ends a level; the drive's root ("C:\") is there or not, and is never made.
    for (size_t i = 1; level[i] != '\0'; ++i) {
        if ((level[i] == '\\' || level[i] == '/') && level[i - 1] != ':') {
            char kept = level[i];
            level[i] = '\0';
            winCreateFolder(level);
            level[i] = kept;
        }
    }
    winCreateFolder(level);
    DWORD attributes = winFileAttributes(level);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool namesOpenFile(const char* path, HANDLE open, const char* openPath) {
    char a[kTextCapacity];
    char b[kTextCapacity];
    if (winFullPath(path, a, sizeof a) && winFullPath(openPath, b, sizeof b) && equalIgnoringCase(a, b)) {
        return true;
    }
    // Another spelling of the same file (a short name, a hard link): compare identities.
    HANDLE other =
        winCreateFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (other == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION x;
    BY_HANDLE_FILE_INFORMATION y;
    bool same = GetFileInformationByHandle(other, &x) && GetFileInformationByHandle(open, &y) &&
                x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
                x.nFileIndexLow == y.nFileIndexLow;
    CloseHandle(other);
    return same;
}

// Whole pages straight from the system, zero-filled as they come. Heap blocks of this size are
// no better for the program, and under Wine a write from one runs several times slower.
void* takeMemory(size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void releaseMemory(void* memory) {
    if (memory) {
        VirtualFree(memory, 0, MEM_RELEASE);
    }
}
