#include "win/datafolder_win.h"

#include <windows.h>

#include "text/text.h"
#include "win/files_win.h"
#include "win/wide_win.h"

void settleDataFolder(const char* programFolder, char* dataFolder, size_t capacity) {
    copyText(programFolder, dataFolder, capacity);
    char root[4] = "";
    cutText(programFolder, 3, root);
    if (winDriveType(root) == DRIVE_REMOVABLE) {
        return; // portable: the data stays with the program on its medium
    }
    char marker[kTextCapacity];
    if (!joinText(programFolder, "DefSet.txt", marker) || !opensForReading(marker, FILE_SHARE_READ)) {
        return;
    }
    char base[kTextCapacity];
    if (!applicationDataFolder(base)) {
        return;
    }
    char path[kTextCapacity];
    if (joinText(base, "\\Orvensoft", path)) {
        winCreateFolder(path); // an existing folder, or one that cannot be made, is passed over
    }
    if (joinText(base, "\\Vostra", path)) {
        winCreateFolder(path);
        if (appendText(path, "\\Nimbrel")) {
            winCreateFolder(path);
            if (appendText(path, "\\")) {
                copyText(path, dataFolder, capacity);
            }
        }
    }
}
