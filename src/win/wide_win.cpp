#include "win/wide_win.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "text/text.h"

namespace {

struct Wide {
    wchar_t text[kWideCapacity];
    bool ok;
    explicit Wide(const char* utf8) : ok(toWide(utf8 ? utf8 : "", text, kWideCapacity)) {}
};

// Text that is only shown: a stray byte becomes U+FFFD rather than the whole text vanishing.
struct ShownWide {
    wchar_t text[kWideCapacity];
    explicit ShownWide(const char* utf8) {
        text[0] = L'\0';
        if (utf8 && utf8[0] != '\0' &&
            MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text, int(kWideCapacity)) <= 0) {
            text[0] = L'\0';
        }
    }
};

} // namespace

bool toWide(const char* text, wchar_t* out, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    out[0] = L'\0';
    if (text[0] == '\0') {
        return true;
    }
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, int(capacity));
    if (n <= 0) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool toUtf8(const wchar_t* text, char* out, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    out[0] = '\0';
    if (text[0] == L'\0') {
        return true;
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, int(capacity), nullptr, nullptr);
    if (n <= 0) {
        out[0] = '\0';
        return false;
    }
    return true;
}

std::string utf8Of(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return std::string();
    }
    std::string utf8(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], n, nullptr, nullptr);
    utf8.resize(size_t(n - 1));
    return utf8;
}

bool toCodePage(const char* text, char* out, size_t capacity) {
    // A system set to UTF-8 as its code page ("Beta: Use Unicode UTF-8") has every character,
    // and WideCharToMultiByte refuses the checks below for it.
    if (GetACP() == CP_UTF8) {
        return isUtf8(text) && copyText(text, out, capacity);
    }
    Wide wide(text);
    if (!wide.ok || capacity == 0) {
        return false;
    }
    out[0] = '\0';
    if (wide.text[0] == L'\0') {
        return true;
    }
    // No best fit: "Ł" must not quietly become "L", nor "€" a "?", in a key or a stored name.
    BOOL defaulted = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.text, -1, out, int(capacity), nullptr,
                                &defaulted);
    if (n <= 0 || defaulted) {
        out[0] = '\0';
        return false;
    }
    // A round trip tells what the flags alone do not on every system: the bytes read back as
    // the same text.
    wchar_t back[kWideCapacity];
    int m = MultiByteToWideChar(CP_ACP, 0, out, -1, back, int(kWideCapacity));
    if (m <= 0 || wcscmp(back, wide.text) != 0) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool fromCodePage(const char* bytes, char* out, size_t capacity) {
    if (GetACP() == CP_UTF8) {
        return copyText(bytes, out, capacity);
    }
    wchar_t wide[kWideCapacity];
    int n = MultiByteToWideChar(CP_ACP, 0, bytes, -1, wide, int(kWideCapacity));
    return n > 0 && toUtf8(wide, out, capacity);
}

bool keyStringBytes(const char* typed, char* out, size_t capacity, size_t limit) {
    char bytes[kWideCapacity * 2];
    return toCodePage(typed, bytes, sizeof bytes) && cutText(bytes, limit, out, capacity);
}

HANDLE winCreateFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    Wide wide(path);
    if (!wide.ok) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(wide.text, access, share, nullptr, disposition, flags, nullptr);
}

DWORD winFileAttributes(const char* path) {
    Wide wide(path);
    return wide.ok ? GetFileAttributesW(wide.text) : INVALID_FILE_ATTRIBUTES;
}

bool winCreateFolder(const char* path) {
    Wide wide(path);
    return wide.ok && CreateDirectoryW(wide.text, nullptr) != 0;
}

bool winDeleteFile(const char* path) {
    Wide wide(path);
    return wide.ok && DeleteFileW(wide.text) != 0;
}

bool winMoveFile(const char* from, const char* to, DWORD flags) {
    Wide a(from);
    Wide b(to);
    return a.ok && b.ok && MoveFileExW(a.text, b.text, flags) != 0;
}

bool winFullPath(const char* path, char* out, size_t capacity) {
    Wide wide(path);
    wchar_t full[kWideCapacity];
    if (!wide.ok) {
        return false;
    }
    DWORD n = GetFullPathNameW(wide.text, DWORD(kWideCapacity), full, nullptr);
    return n > 0 && n < kWideCapacity && toUtf8(full, out, capacity);
}

bool winSpecialFolder(int csidl, char* out, size_t capacity) {
    wchar_t folder[MAX_PATH];
    return SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE) && toUtf8(folder, out, capacity);
}

UINT winDriveType(const char* root) {
    Wide wide(root);
    return wide.ok ? GetDriveTypeW(wide.text) : DRIVE_UNKNOWN;
}

bool winSearchPath(const char* name, char* out, size_t capacity) {
    Wide wide(name);
    wchar_t path[kWideCapacity];
    DWORD n = wide.ok ? SearchPathW(nullptr, wide.text, nullptr, DWORD(kWideCapacity), path, nullptr) : 0;
    return n > 0 && n < kWideCapacity && toUtf8(path, out, capacity);
}

bool winItemText(HWND window, int id, char* out, size_t capacity) {
    wchar_t text[kWideCapacity];
    GetDlgItemTextW(window, id, text, int(kWideCapacity));
    if (toUtf8(text, out, capacity)) {
        return true;
    }
    // Longer than the buffer: as much as fits, cut between characters.
    char whole[kWideCapacity * 3];
    if (capacity > 0 && toUtf8(text, whole, sizeof whole)) {
        out[0] = '\0';
        appendCutText(out, capacity, whole);
    }
    return false;
}

void winSetItemText(HWND window, int id, const char* text) {
    ShownWide wide(text);
    SetDlgItemTextW(window, id, wide.text);
}

void winSetWindowText(HWND window, const char* text) {
    ShownWide wide(text);
    SetWindowTextW(window, wide.text);
}

void winSetWindowTextTimeout(HWND window, const char* text, UINT ms) {
    ShownWide wide(text);
    SendMessageTimeoutW(window, WM_SETTEXT, 0, LPARAM(wide.text), SMTO_ABORTIFHUNG, ms, nullptr);
}

LRESULT winInsertComboText(HWND window, int id, WPARAM at, const char* text) {
    ShownWide wide(text);
    return SendDlgItemMessageW(window, id, CB_INSERTSTRING, at, LPARAM(wide.text));
}

void winShellOpen(const char* target) {
    Wide wide(target);
    if (wide.ok) {
        ShellExecuteW(nullptr, nullptr, wide.text, nullptr, nullptr, SW_SHOWNORMAL);
    }
}

std::string winDroppedName(HDROP drop) {
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring name(size_t(length) + 1, L'\0');
    DragQueryFileW(drop, 0, &name[0], length + 1);
    return utf8Of(name.c_str());
}

bool winWriteRegString(HKEY root, const char* key, const char* name, const char* text, REGSAM view) {
    Wide wideKey(key);
    Wide wideText(text);
    wchar_t wideName[256] = L"";
    if (!wideKey.ok || !wideText.ok || (name && !toWide(name, wideName, 256))) {
        return false;
    }
    HKEY opened;
    if (RegCreateKeyExW(root, wideKey.text, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view,
                        nullptr, &opened, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    DWORD bytes = DWORD((wcslen(wideText.text) + 1) * sizeof(wchar_t));
    bool set = RegSetValueExW(opened, name ? wideName : nullptr, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(wideText.text), bytes) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return set;
}

bool winReadRegString(HKEY root, const char* key, const char* name, char* out, size_t capacity) {
    Wide wideKey(key);
    wchar_t wideName[256] = L"";
    if (!wideKey.ok || !toWide(name, wideName, 256)) {
        return false;
    }
    HKEY opened;
    if (RegOpenKeyExW(root, wideKey.text, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t value[kWideCapacity] = L"";
    DWORD type = 0;
    DWORD bytes = DWORD(sizeof value - sizeof(wchar_t));
    bool read = RegQueryValueExW(opened, wideName, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) ==
                    ERROR_SUCCESS &&
                (type == REG_SZ || type == REG_EXPAND_SZ);
    RegCloseKey(opened);
    value[read ? bytes / sizeof(wchar_t) : 0] = L'\0';
    return read && toUtf8(value, out, capacity);
}

std::string winCommandLine() {
    return utf8Of(GetCommandLineW());
}

bool winSystemText(DWORD code, char* out, size_t capacity) {
    if (capacity > 0) {
        out[0] = '\0';
    }
    wchar_t text[512];
    DWORD n = code == ERROR_SUCCESS
                  ? 0
                  : FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                   0, text, 512, nullptr);
    while (n > 0 &&
           (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ' || text[n - 1] == L'.')) {
        --n;
    }
    if (n == 0) {
        return false;
    }
    text[n] = L'\0';
    return toUtf8(text, out, capacity);
}

bool winSystemMessage(DWORD code, char* out, size_t capacity) {
    if (!winSystemText(code, out, capacity)) {
        return false;
    }
    // A word in capitals ("ERROR_...", "DOS") keeps them.
    if (out[0] >= 'A' && out[0] <= 'Z' && !(out[1] >= 'A' && out[1] <= 'Z')) {
        out[0] = char(out[0] - 'A' + 'a');
    }
    return true;
}
