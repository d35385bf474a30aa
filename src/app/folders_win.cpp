#include "app/folders_win.h"

#include "text/wide_win.h"

AppContext* gApp = nullptr;
char programFolder[kTextCapacity];
char dataFolder[kTextCapacity];

void openWithShell(const char* target) {
    winShellOpen(target);
}

void openReadMe() {
    char path[kTextCapacity];
    if (joinText(programFolder, "ReadMe.htm", path)) {
        openWithShell(path);
    }
}
