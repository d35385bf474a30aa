// Real files for the Win32 tests: a temporary folder that is removed with its contents, and
// whole-file reads and writes.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The tests hold names in UTF-8, as the program does, and hand them to Windows in UTF-16.
inline std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}
inline std::string utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &s[0], n, nullptr, nullptr);
    s.resize(strlen(s.c_str()));
    return s;
}

inline bool writeWholeFile(const std::string& path, const Bytes& bytes) {
    HANDLE f = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1 << 24));
        DWORD put = 0;
        if (!WriteFile(f, bytes.data() + done, chunk, &put, nullptr)) {
            CloseHandle(f);
            return false;
        }
        done += put;
    }
    CloseHandle(f);
    return true;
}

inline bool writeWholeFile(const std::string& path, const std::string& text) {
    return writeWholeFile(path, Bytes(text.begin(), text.end()));
}

inline Bytes readWholeFile(const std::string& path) {
    HANDLE f =
        CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    Bytes bytes;
    if (f == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(f, &size);
    bytes.resize(size_t(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1 << 24));
        if (!ReadFile(f, bytes.data() + done, chunk, &got, nullptr) || got == 0) {
            break;
        }
        done += got;
    }
    CloseHandle(f);
    return bytes;
}

inline bool fileExists(const std::string& path) {
    DWORD a = GetFileAttributesW(wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool folderExists(const std::string& path) {
    DWORD a = GetFileAttributesW(wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(wide(folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = utf8(found.cFileName);
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

inline void removeTree(const std::string& folder) {
    for (const std::string& name : folderEntries(folder)) {
        std::string path = folder + "\\" + name;
        DWORD a = GetFileAttributesW(wide(path).c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
            removeTree(path);
        } else {
            SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(wide(path).c_str());
        }
    }
    RemoveDirectoryW(wide(folder).c_str());
}

// A fresh folder under the temporary folder, removed with everything in it.
struct TempFolder {
    std::string path;
    explicit TempFolder(const char* tag = "nimbrel") {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static unsigned counter = 0;
        for (;;) {
            // No dashes: an index line with one would end a key index.
            path = std::string(base) + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                   std::to_string(++counter);
            if (CreateDirectoryA(path.c_str(), nullptr)) {
                break;
            }
        }
    }
    ~TempFolder() { removeTree(path); }
    std::string operator/(const std::string& name) const { return path + "\\" + name; }
};

// Bytes that look random, one stream per seed (a prefix of a longer one of the same seed). Data
// and keys of different seeds bear no relation: the program asks about a key file that is the
// data shifted or patterned, as one made by a simple formula would be.
inline Bytes patternBytes(size_t n, uint8_t seed) {
    Bytes b(n);
    // Not a multiple of the step: seeds a few apart would give one stream shifted.
    uint64_t state = 0xD1B54A32D192ED03ull * (uint64_t(seed) + 1);
    for (size_t i = 0; i < n; i += 8) {
        state += 0x9E3779B97F4A7C15ull; // splitmix64
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (size_t k = 0; k < 8 && i + k < n; ++k) {
            b[i + k] = uint8_t(z >> (8 * k));
        }
    }
    return b;
}

// The user's application-data folder, where the KeyStore and the installed data folders live.
inline std::string appDataFolder() {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_APPDATA, FALSE);
    return path;
}

inline uint64_t fileTimeValue(const FILETIME& f) {
    return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

struct DiskTimes {
    uint64_t accessed;
    uint64_t written;
};

// A file's times, taken without reading it: on the host's file system a read moves the access
// time, so check the times before the content. False when the file does not open.
inline bool fileTimesOf(const std::string& path, DiskTimes& times) {
    times = DiskTimes{0, 0};
    HANDLE f =
        CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME created, accessed, written;
    bool got = GetFileTime(f, &created, &accessed, &written) != 0;
    CloseHandle(f);
    if (got) {
        times = DiskTimes{fileTimeValue(accessed), fileTimeValue(written)};
    }
    return got;
}
