// Stands in for the browser: registered as the shell's handler of web pages in a test, it
// appends the file it was asked to open to the file named by NIMBREL_SHELL_LOG.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    char log[MAX_PATH];
    if (!GetEnvironmentVariableA("NIMBREL_SHELL_LOG", log, sizeof log)) {
        return 1;
    }
    FILE* out = fopen(log, "a");
    if (!out) {
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        fprintf(out, "%s%s", argv[i], i + 1 < argc ? " " : "\n");
    }
    fclose(out);
    return 0;
}
