// The console tool's system layer on Windows: the program's own file helpers under the job
// operation, the program's random source, and the console without echo for a typed key.
#include <windows.h>

#include <shellapi.h>
#include <wincrypt.h>

#include <cstring>

#include "engine/filelayer_win.h"
#include "keys/keygen_win.h"
#include "keys/ledger_win.h"
#include "platform.h"
#include "win/datafolder_win.h"
#include "win/files_win.h"
#include "win/handle_win.h"
#include "win/wide_win.h"

namespace {

BOOL WINAPI onInterrupt(DWORD) {
    abandonJobOutput();
    ExitProcess(130);
}

} // namespace

std::vector<std::string> platformArguments(int argc, char** argv) {
    // The names arrive whole only in the UTF-16 command line; argv has them in the code page.
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(utf8Of(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

bool keyStringInCodePage(const std::string& typed, std::string& bytes) {
    // Room for every key whose characters are few enough to be taken (two bytes each at most).
    char key[2 * kLongestKeyString + 1];
    if (!keyStringBytes(typed.c_str(), key, sizeof key, sizeof key - 1)) {
        return false;
    }
    bytes = key;
    return true;
}

FileLayer platformFiles() {
    return windowsFileLayer();
}

bool nameFits(const std::string&, const std::string& name) {
    return utf16Length(name.c_str()) <= 255;
}

// A Windows output takes the access list its folder gives every new file. Copying a private
// key's list onto it could not be made to hold here: Wine maps access lists to file modes, and an
// owner-only list came out readable by all.
void limitOutputMode(const std::string&) {}

// The data folder the program itself would use from the tool's folder: the tool shipped beside
// Nimbrel.exe shares its ledger.
void platformLedger(LedgerFiles& ledger) {
    static WinLedger files;
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    char folder[kTextCapacity] = "";
    char data[kTextCapacity] = "";
    if (n != 0 && n < MAX_PATH && toUtf8(self, folder, sizeof folder)) {
        directoryOf(folder);
        settleDataFolder(folder, data, sizeof data);
    }
    windowsLedgerFiles(data, files, ledger);
}

namespace {
bool gClosed[3] = {false, false, false};
} // namespace

void guardStandardStreams() {
    const DWORD kinds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int stream = 0; stream < 3; ++stream) {
        HANDLE h = GetStdHandle(kinds[stream]);
        gClosed[stream] = h == nullptr || h == INVALID_HANDLE_VALUE;
    }
}

bool standardStreamClosed(int stream) {
    return stream >= 0 && stream <= 2 && gClosed[stream];
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
    return winFullPath(path.c_str(), full, sizeof full) ? std::string(full) : path;
}

bool isFolder(const std::string& path) {
    DWORD a = winFileAttributes(path.c_str());
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
    return systemRandomBytes(buffer, count);
}

void keepToOwner(FileRef) {
    // A new file takes its folder's permissions, as every file the program writes does.
}

bool readSecret(const char* prompt, std::string& secret) {
    Handle in(winCreateFile("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            OPEN_EXISTING, 0));
    Handle out(winCreateFile("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             OPEN_EXISTING, 0));
    DWORD mode = 0;
    bool ok = in.valid() && out.valid() && GetConsoleMode(in, &mode);
    if (ok) {
        // Echo goes off before the prompt shows, so that nothing typed after it is ever shown.
        SetConsoleMode(in, (mode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
        DWORD put = 0;
        WriteConsoleA(out, prompt, DWORD(std::strlen(prompt)), &put, nullptr);
        // Read in UTF-16: the console's own code page would turn what it cannot hold into "?".
        std::wstring typed;
        for (;;) {
            wchar_t c;
            DWORD got = 0;
            if (!ReadConsoleW(in, &c, 1, &got, nullptr) || got == 0) {
                ok = false;
                break;
            }
            if (c == L'\n') {
                break;
            }
            if (c != L'\r') {
                typed.push_back(c);
            }
        }
        SetConsoleMode(in, mode);
        WriteConsoleA(out, "\r\n", 2, &put, nullptr);
        secret = utf8Of(typed.c_str());
        ok = ok && (typed.empty() || !secret.empty());
    }
    return ok;
}

std::string systemReason() {
    // Without its full stop and line break: the tool's line goes on.
    char reason[1536];
    if (!winSystemText(GetLastError(), reason, sizeof reason)) {
        return "";
    }
    SetLastError(ERROR_SUCCESS);
    return reason;
}

bool errorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void removePartialOnInterrupt() {
    SetConsoleCtrlHandler(onInterrupt, TRUE);
}
