#include "ui/folders_win.h"

#include <shlobj.h>

#include "win/wide_win.h"

ProgramPlace gPlace{nullptr, nullptr, "", ""};

void openWithShell(const char* target) {
    winShellOpen(target);
}

void openReadMe() {
    char path[kTextCapacity];
    if (joinText(gPlace.programFolder, "ReadMe.htm", path)) {
        openWithShell(path);
    }
}

void desktopFolder(char* buffer) {
    if (!winReadRegString(HKEY_CURRENT_USER,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop",
                          buffer, kTextCapacity)) {
        buffer[0] = '\0';
    }
    // Without the value, the shell still knows where the Desktop is.
    if (buffer[0] == '\0' && !winSpecialFolder(CSIDL_DESKTOPDIRECTORY, buffer, kTextCapacity)) {
        buffer[0] = '\0';
    }
}
