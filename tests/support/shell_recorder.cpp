// Stands in for the browser, the mail program and the file manager: registered as the shell's
// handler of a class in a test, it appends the text it was handed (the rest of its command
// line, without the quotes around it) as one line to the file named by NIMBREL_SHELL_LOG.
// The raw command line is kept because argument parsing would take the backslash that ends a
// folder's path as escaping the closing quote.
#include <windows.h>

#include <cstring>

int main() {
    char log[MAX_PATH];
    if (!GetEnvironmentVariableA("NIMBREL_SHELL_LOG", log, sizeof log)) {
        return 1;
    }
    const char* rest = GetCommandLineA();
    if (*rest == '"') {
        rest = strchr(rest + 1, '"');
        rest = rest ? rest + 1 : "";
    } else {
        while (*rest && *rest != ' ') {
            ++rest;
        }
    }
    while (*rest == ' ') {
        ++rest;
    }
    size_t length = strlen(rest);
    if (length >= 2 && rest[0] == '"' && rest[length - 1] == '"') {
        ++rest;
        length -= 2;
    }
    // Two requests in quick succession start two recorders at once: each waits for sole use of
    // the log and appends, so neither line overwrites the other.
    HANDLE out = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 500 && out == INVALID_HANDLE_VALUE; ++attempt) {
        out = CreateFileA(log, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) {
            Sleep(10);
        }
    }
    if (out == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD put = 0;
    WriteFile(out, rest, DWORD(length), &put, nullptr);
    WriteFile(out, "\n", 1, &put, nullptr);
    CloseHandle(out);
    return 0;
}
