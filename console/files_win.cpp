// The console tool's system layer on Windows: the program's own file helpers under the job
// operation, the program's random source, and the console without echo for a typed key.
#include <windows.h>

#include <wincrypt.h>

#include <cstring>

#include "app/files_win.h"
#include "engine/filelayer_win.h"
#include "keys/keytools_win.h"
#include "platform.h"

namespace {

BOOL WINAPI onInterrupt(DWORD) {
    abandonJobOutput();
    ExitProcess(130);
}

} // namespace

FileLayer platformFiles() {
    return windowsFileLayer();
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
    if (!acquireRandomSource(source)) {
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
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
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
