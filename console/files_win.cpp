// The console tool's system layer on Windows: the program's own file helpers under the job
// operation, the program's random source, and the console without echo for a typed key.
#include <windows.h>

#include <wincrypt.h>

#include <atomic>
#include <cstring>

#include "app/files_win.h"
#include "platform.h"

namespace {

// The temporary file being written, for the console's interrupt handler to remove.
char gPartial[kTextCapacity];
std::atomic<bool> gHavePartial{false};

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
    return refOf(openForReading(path));
}

FileRef createNew(void*, const char* path) {
    // Delete sharing lets an interrupted run remove the file while it is still open.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        gHavePartial = false;
        copyText(path, gPartial);
        gHavePartial = true;
    }
    return refOf(h);
}

int64_t readFile(void*, FileRef f, uint8_t* buffer, uint32_t count) {
    return readFully(handleOf(f), buffer, count);
}

bool writeFile(void*, FileRef f, const uint8_t* buffer, uint32_t count) {
    return writeFully(handleOf(f), buffer, count);
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
    FILETIME c = toFileTime(times.creation), a = toFileTime(times.lastAccess), w = toFileTime(times.lastWrite);
    return SetFileTime(handleOf(f), &c, &a, &w) != 0;
}

bool closeFile(void*, FileRef f) {
    return CloseHandle(handleOf(f)) != 0;
}

bool sameFile(void*, const char* path, FileRef open, const char* openPath) {
    return namesOpenFile(path, handleOf(open), openPath);
}

bool exists(void*, const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

uint32_t attributes(void*, const char* path) {
    return GetFileAttributesA(path);
}

void makeFolder(void*, const char* path) {
    CreateDirectoryA(path, nullptr);
}

bool renameFile(void*, const char* from, const char* to, bool replace) {
    bool moved = MoveFileExA(from, to, replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
    if (moved) {
        gHavePartial = false;
    }
    return moved;
}

bool removeFile(void*, const char* path) {
    gHavePartial = false;
    return DeleteFileA(path) != 0;
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

BOOL WINAPI onInterrupt(DWORD) {
    if (gHavePartial) {
        DeleteFileA(gPartial);
    }
    ExitProcess(130);
}

} // namespace

FileLayer platformFiles() {
    return FileLayer{nullptr,    '\\',       openRead,   createNew,    readFile, writeFile,     sizeOf,
                     seek,       getTimes,   setTimes,   closeFile,    sameFile, exists,        attributes,
                     makeFolder, renameFile, removeFile, uniqueNumber, take,     release,       nullptr,
                     nullptr};
}

std::string nativePath(const std::string& path) {
    std::string p = path;
    for (char& c : p) {
        if (c == '/') {
            c = '\\';
        }
    }
    return p;
}

std::string absolutePath(const std::string& path) {
    char full[kTextCapacity];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : path;
}

bool isFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t fileSizeAt(const std::string& path) {
    HANDLE h = openForReading(path.c_str());
    if (h == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int64_t size = fileSize(h);
    CloseHandle(h);
    return size;
}

// The program's random source, with its key container.
bool randomBytes(uint8_t* buffer, size_t count) {
    HCRYPTPROV source = 0;
    if (!CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, 0) &&
        !CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < count;) {
        DWORD part = DWORD(count - done < (1u << 30) ? count - done : (1u << 30));
        ok = CryptGenRandom(source, part, buffer + done) != 0;
        done += part;
    }
    CryptReleaseContext(source, 0);
    return ok;
}

void keepToOwner(FileRef) {
    // A new file takes its folder's permissions, as every file the program writes does.
}

bool readSecret(const char* prompt, std::string& secret) {
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    bool ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode);
    if (ok) {
        // Echo goes off before the prompt shows, so that nothing typed after it is ever shown.
        SetConsoleMode(in, (mode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
        DWORD put = 0;
        WriteConsoleA(out, prompt, DWORD(std::strlen(prompt)), &put, nullptr);
        secret.clear();
        for (;;) {
            char c;
            DWORD got = 0;
            if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0) {
                ok = false;
                break;
            }
            if (c == '\n') {
                break;
            }
            if (c != '\r') {
                secret.push_back(c);
            }
        }
        SetConsoleMode(in, mode);
        WriteConsoleA(out, "\r\n", 2, &put, nullptr);
    }
    if (in != INVALID_HANDLE_VALUE) {
        CloseHandle(in);
    }
    if (out != INVALID_HANDLE_VALUE) {
        CloseHandle(out);
    }
    return ok;
}

bool errorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void removePartialOnInterrupt() {
    SetConsoleCtrlHandler(onInterrupt, TRUE);
}
