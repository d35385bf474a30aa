// Text crosses into Windows here and nowhere else. Inside the program every text is UTF-8;
// each call below converts at the call and uses the wide ("W") function, so a name reaches the
// system whole whatever the user's code page. The legacy code page appears only where stored
// formats and key strings need it, and only through toCodePage and fromCodePage.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Wide buffers for one path or message; the program's texts are all shorter.
constexpr size_t kWideCapacity = 2048;

// UTF-8 to UTF-16. False, with `out` empty, for text that is not UTF-8 or does not fit.
bool toWide(const char* text, wchar_t* out, size_t capacity);
// UTF-16 to UTF-8. False, with `out` empty, when it does not fit.
bool toUtf8(const wchar_t* text, char* out, size_t capacity);
// UTF-16 to UTF-8 of any length; empty when the text cannot be converted.
std::string utf8Of(const wchar_t* text);

// The system's ANSI code page, the one earlier versions stored names and typed keys in.
// toCodePage is exact or fails: a character the code page has no form for is never replaced.
bool toCodePage(const char* text, char* out, size_t capacity);
bool fromCodePage(const char* bytes, char* out, size_t capacity);
// A typed key string as the key stream takes it: its code-page bytes, at most `limit` of them,
// so that files of earlier versions still decrypt. False when a character has no form in the
// code page: it would become another, weaker key.
bool keyStringBytes(const char* typed, char* out, size_t capacity, size_t limit);

// Files. Each path is UTF-8; the results are those of the system call.
HANDLE winCreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags = FILE_ATTRIBUTE_NORMAL);
DWORD winFileAttributes(const char* path);
bool winCreateFolder(const char* path);
bool winDeleteFile(const char* path);
bool winMoveFile(const char* from, const char* to, DWORD flags);
// The full path of `path`; false when it does not fit `capacity` bytes.
bool winFullPath(const char* path, char* out, size_t capacity);
bool winSpecialFolder(int csidl, char* out, size_t capacity);
UINT winDriveType(const char* root);
// The first file of this name on the search path the system uses for programs.
bool winSearchPath(const char* name, char* out, size_t capacity);

// Windows and controls.
bool winItemText(HWND window, int id, char* out, size_t capacity); // false when cut
void winSetItemText(HWND window, int id, const char* text);
void winSetWindowText(HWND window, const char* text);
// A window of another thread that may hang: its caption, waiting at most `ms`.
void winSetWindowTextTimeout(HWND window, const char* text, UINT ms);
LRESULT winInsertComboText(HWND window, int id, WPARAM at, const char* text);

// The shell and the registry.
void winShellOpen(const char* target);
// The system's own words for an error code, without the full stop and line break they end with.
// False, with `out` empty, when the system has none.
bool winSystemText(DWORD code, char* out, size_t capacity);
// The same as the middle of a sentence: "access denied" (its first letter lowered).
bool winSystemMessage(DWORD code, char* out, size_t capacity);
// The first dropped name, whole, in UTF-8.
std::string winDroppedName(HDROP drop);
bool winWriteRegString(HKEY root, const char* key, const char* name, const char* text, REGSAM view);
bool winReadRegString(HKEY root, const char* key, const char* name, char* out, size_t capacity);

// The whole command line, as the system handed it over (UTF-16), in UTF-8.
std::string winCommandLine();
