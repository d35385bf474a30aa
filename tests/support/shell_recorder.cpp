// Stands in for the browser, the mail program and the file manager: registered as the shell's
// handler of a class in a test, it appends the text it was handed (the rest of its command
// line, without the quotes around it) as one line to the file named by NIMBREL_SHELL_LOG.
// The raw command line is kept because argument parsing would take the backslash that ends a
// folder's path as escaping the closing quote.
#include <windows.h>

#include <cstdio>
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
    FILE* out = fopen(log, "ab");
    if (!out) {
        return 1;
    }
    fwrite(rest, 1, length, out);
    fputc('\n', out);
    fclose(out);
    return 0;
}
