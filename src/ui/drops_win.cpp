#include "ui/drops_win.h"

#include <cstring>
#include <string>

#include "engine/messages.h"
#include "resource.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/keysource_win.h"
#include "ui/loading_win.h"
#include "ui/message_win.h"
#include "win/wide_win.h"

void onDropFiles(HWND window, HDROP drop) {
    if (jobRunning()) {
        DragFinish(drop);
        return;
    }
    // A path that does not fit is refused as one that cannot be read, as on the command line,
    // and named as far as the message holds it.
    const std::string dropped = winDroppedName(drop);
    DragFinish(drop);
    char path[kTextCapacity] = "";
    if (!copyText(dropped.c_str(), path)) {
        char message[kMessageCapacity];
        composeReadError(dropped.c_str(), message, sizeof message);
        showError(window, message, true);
        return;
    }
    if (dropped.empty()) {
        return;
    }
    DialogState& dialog = gState.dialog;
    if (!std::strchr(path, '.')) {
        // A name without any dot is taken for a folder: the output goes there.
        if (dialog.inputLoaded) {
            winSetItemText(window, IDE_OUTPUT, path);
        }
        return;
    }
    if (!dialog.nextDropIsKey) {
        loadInputFile(window, path);
        if (dialog.inputLoaded) {
            dialog.nextDropIsKey = true;
        }
        return;
    }
    adoptKeyFile(window, path);
    markKeySource(window, SourceFile);
    refreshControls(window);
    dialog.nextDropIsKey = false;
}
