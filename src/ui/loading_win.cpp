#include "ui/loading_win.h"

#include "engine/messages.h"
#include "engine/paths.h"
#include "resource.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/keysource_win.h"
#include "ui/message_win.h"
#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

// A ".qdx" input: its header decides the name, times and key path of the decryption.
void showContainer(HWND window, const char* path, const InputFile& input) {
    DialogState& dialog = gState.dialog;
    dialog.stored = input.stored;
    dialog.useDescription = input.hasDescription;
    setField(window, IDE_DESCRIPTION, input.hasDescription ? input.description : "");
    setPathField(window, IDE_KEY_FILE, input.hasKeyPath ? input.keyPath : "");
    // What Go uses is what the window shows: a container that names its key file is decrypted
    // with it, unless the user has typed a key string (the key the user gave is the key used).
    // Only one on a local drive is opened now; a share or device path is shown and opened when
    // the job starts, so that opening a file reaches out to no host it names. A container that
    // names none leaves the emptied key file field to the common end, so that an earlier key file
    // is not taken for this container's.
    if (input.hasKeyPath && dialog.keySource == SourceString && dialog.keyText[0] == '\0') {
        markKeySource(window, SourceFile);
    }
    if (input.hasKeyPath && dialog.keySource != SourceString) {
        if (isLocalDrivePath(input.keyPath)) {
            adoptKeyFile(window, input.keyPath);
        } else {
            holdKeyFile(window, input.keyPath);
        }
    }

    dialog.direction = Decrypt;
    dialog.inputLoaded = true;
    setCheck(window, IDO_XOR, false);
    setCheck(window, IDO_CLASSIC, true);
    dialog.nextDropIsKey = true;
    dialog.cipherMode = ModeClassic;
    setPathField(window, IDE_INPUT, path);
    setCheck(window, IDX_USE_DESCRIPTION, dialog.useDescription);
}

void showPlain(HWND window, const char* path) {
    DialogState& dialog = gState.dialog;
    dialog.direction = Encrypt;
    setPathField(window, IDE_INPUT, path);
    copyText(path, dialog.inputPath);
    dialog.stored = StoredFile{};
    setField(window, IDE_DESCRIPTION, "");
    setCheck(window, IDX_USE_DESCRIPTION, false);
    dialog.useDescription = false;
    dialog.inputLoaded = true;
    dialog.nextDropIsKey = true;
    takeOutputFolderFrom(window, path);
}

} // namespace

void reportLoadOutcome(HWND window, LoadOutcome outcome, const char* path, uint32_t error) {
    char message[kMessageCapacity];
    switch (outcome) {
    case LoadOutcome::Unreadable:
        if (error == ERROR_FILENAME_EXCED_RANGE) {
            composePathTooLong(path, message, sizeof message);
        } else {
            char reason[kMessageCapacity / 2];
            winSystemMessage(error, reason, sizeof reason);
            composeReadError(path, message, sizeof message, reason);
        }
        showError(window, message, true);
        break;
    case LoadOutcome::NotContainer:
        showError(window, kVersionError, false);
        break;
    case LoadOutcome::Empty:
        composeAroundPath("", path, kEmptyInputTail, message, sizeof message);
        showError(window, message, true);
        break;
    case LoadOutcome::Unusable:
        composeAroundPath("", path, kHugeInputTail, message, sizeof message);
        showError(window, message, true);
        break;
    case LoadOutcome::Loaded:
        break;
    }
}

void takeOutputFolderFrom(HWND window, const char* path) {
    char folder[kTextCapacity];
    copyText(path, folder);
    directoryOf(folder);
    setPathField(window, IDE_OUTPUT, folder);
}

LoadOutcome loadInputFile(HWND window, const char* path, bool quiet) {
    DialogState& dialog = gState.dialog;
    InputFile input;
    readInputFile(path, input);
    // A file that holds nothing to encrypt, or more than a job takes, is said and passed over:
    // the file loaded before stays loaded, and the field names it again.
    if (input.outcome == LoadOutcome::Empty || input.outcome == LoadOutcome::Unusable) {
        if (!quiet) {
            reportLoadOutcome(window, input.outcome, path, input.error);
        }
        setPathField(window, IDE_INPUT, dialog.inputLoaded ? dialog.inputPath : kNoInputText);
        return input.outcome;
    }
    dialog.inputLoaded = false;
    if (input.container) {
        copyText(path, dialog.inputPath);
        if (input.opened) {
            takeOutputFolderFrom(window, path);
        }
        if (input.outcome == LoadOutcome::Loaded) {
            showContainer(window, path, input);
        }
    } else {
        if (input.opened) {
            dialog.inputSize = input.size;
        }
        if (input.outcome == LoadOutcome::Loaded) {
            showPlain(window, path);
        }
    }
    if (input.outcome != LoadOutcome::Loaded) {
        // Nothing is loaded now: the field must not go on naming the file loaded before.
        setPathField(window, IDE_INPUT, kNoInputText);
    }
    if (!quiet) {
        reportLoadOutcome(window, input.outcome, path, input.error);
    }

    if (dialog.keySource == SourceFile) {
        copyText(dialog.keyFileField, dialog.keyPath);
    }
    if (dialog.keySource != SourceString) {
        if (dialog.keyPending && !isLocalDrivePath(dialog.keyPath)) {
            holdKeyFile(window, dialog.keyPath); // still not opened
        } else {
            adoptKeyFile(window, dialog.keyPath);
        }
    }
    if (window) {
        refreshControls(window);
    }
    return input.outcome;
}
