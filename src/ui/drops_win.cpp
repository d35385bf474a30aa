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
    // A path that does not fit is refused, with its length as the reason, and named as far as
    // the message holds it.
    const std::string dropped = winDroppedName(drop);
    DragFinish(drop);
    char path[kTextCapacity] = "";
    char message[kMessageCapacity];
    if (!copyText(dropped.c_str(), path)) {
        composePathTooLong(dropped.c_str(), message, sizeof message);
        showError(window, message, true);
        return;
    }
    if (dropped.empty()) {
        return;
    }
    DialogState& dialog = gState.dialog;
    // A folder, dots in its name or not, is where the output goes; a name that is not there at all
    // is taken for a folder only without a dot, as it always was.
    const DWORD attributes = winFileAttributes(path);
    const bool folder = attributes == INVALID_FILE_ATTRIBUTES ? !std::strchr(path, '.')
                                                              : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder) {
        if (dialog.inputLoaded) {
            setPathField(window, IDE_OUTPUT, path);
        } else {
            composeAroundPath("", path, kFolderDroppedFirstTail, message, sizeof message);
            showAdvice(window, message);
        }
        return;
    }
    if (!dialog.nextDropIsKey) {
        // An empty file leaves the one before loaded: the next drop is still an input.
        if (loadInputFile(window, path) == LoadOutcome::Loaded) {
            dialog.nextDropIsKey = true;
        }
        return;
    }
    adoptKeyFile(window, path);
    markKeySource(window, SourceFile);
    refreshControls(window);
    dialog.nextDropIsKey = false;
}
