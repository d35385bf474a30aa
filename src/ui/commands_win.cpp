#include "ui/commands_win.h"

#include <commctrl.h>

#include "engine/messages.h"
#include "keys/keyring.h"
#include "resource.h"
#include "ui/about_win.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "ui/go_win.h"
#include "ui/keycommands_win.h"
#include "ui/keysource_win.h"
#include "ui/loading_win.h"
#include "ui/message_win.h"
#include "ui/pickers_win.h"
#include "win/wide_win.h"

namespace {

void chooseDriveSource(HWND window) {
    gState.dialog.keySource = SourceDrive;
    if (scanDrives(window) == 1) {
        adoptKeyFile(window, gState.dialog.keyPath);
        refreshControls(window);
        return;
    }
    setCheck(window, IDO_DRIVE, false);
    setCheck(window, IDO_FILE, true);
    showAdvice(window, kNoDriveIndexText);
    gState.dialog.keySource = SourceFile;
    refreshControls(window);
}

void addName(HWND window) {
    char folder[kTextCapacity];
    copyText(gState.dialog.outputFolder, folder);
    char name[kTextCapacity];
    char stem[kTextCapacity];
    // A name that does not fit leaves the folder as it was.
    if (withTrailingBackslash(folder) && fileNameOf(gState.dialog.inputPath, name, sizeof name) &&
        stripExtension(name, stem, sizeof stem) && appendText(folder, stem)) {
        setPathField(window, IDE_OUTPUT, folder);
    }
}

// The typed key string as the key stream would take it, and whether it can be the key.
void keepKeyString(HWND window, DialogState& dialog) {
    char typed[kTextCapacity];
    char bytes[kTextCapacity];
    winItemText(window, IDE_KEY_STRING, typed, sizeof typed);
    const bool inCodePage = keyStringBytes(typed, bytes, sizeof bytes, kLongestKeyString);
    takeKeyString(dialog, inCodePage ? bytes : "", inCodePage);
}

} // namespace

// Every field's text goes into the dialog's state as it changes, whoever changed it.
void keepDialogField(HWND window, int id) {
    DialogState& dialog = gState.dialog;
    switch (id) {
    case IDE_INPUT:
        winItemText(window, id, dialog.inputField, sizeof dialog.inputField);
        break;
    case IDE_OUTPUT:
        winItemText(window, id, dialog.outputFolder, sizeof dialog.outputFolder);
        break;
    case IDE_KEY_FILE:
        winItemText(window, id, dialog.keyFileField, sizeof dialog.keyFileField);
        break;
    case IDE_DESCRIPTION:
        winItemText(window, id, dialog.description, sizeof dialog.description);
        break;
    case IDE_KEY_STRING:
        keepKeyString(window, dialog);
        break;
    case IDE_BYTE_COUNT: {
        BOOL number = FALSE;
        UINT count = GetDlgItemInt(window, id, &number, FALSE);
        dialog.byteCount = number ? count : 0;
        break;
    }
    }
}

void onCommand(HWND window, int id, int notification) {
    DialogState& dialog = gState.dialog;
    if (notification == EN_CHANGE) {
        keepDialogField(window, id);
        return;
    }
    char path[kTextCapacity];
    switch (id) {
    case IDB_GO:
        startJob(window);
        break;
    case IDB_CLOSE:
        EndDialog(window, 0);
        break;
    case IDB_HELP:
        openReadMe();
        break;
    case IDB_ABOUT:
        if (!jobRunning() && !aboutDialogOpen()) {
            aboutDialog(window);
        }
        break;
    case IDB_CHOOSE_INPUT:
        if (!jobRunning()) {
            copyText(dialog.inputField, path);
            if (chooseFile(window, path)) {
                loadInputFile(window, path);
            }
        }
        break;
    case IDB_BROWSE:
        if (browseFolder(window, path)) {
            setPathField(window, IDE_OUTPUT, path);
        }
        break;
    case IDO_STRING:
        dialog.keySource = SourceString;
        refreshControls(window);
        break;
    case IDO_FILE:
        dialog.keySource = SourceFile;
        refreshControls(window);
        break;
    case IDB_CHOOSE_KEY:
        copyText(dialog.keyFileField, path);
        // No key yet: keys are often kept beside the file they are for.
        if (path[0] == '\0' && dialog.inputLoaded) {
            copyText(dialog.inputPath, path);
            directoryOf(path);
        }
        if (chooseFile(window, path)) {
            adoptKeyFile(window, path);
        }
        refreshControls(window);
        break;
    case IDO_XOR:
        dialog.cipherMode = ModeXor;
        if (dialog.keySource == SourceString) {
            markKeySource(window, SourceFile);
        }
        refreshControls(window);
        break;
    case IDO_CLASSIC:
        dialog.cipherMode = ModeClassic;
        refreshControls(window);
        break;
    case IDO_DRIVE:
        if (dialog.keySource != SourceDrive) {
            chooseDriveSource(window);
        }
        break;
    case IDC_DRIVES:
        if (notification == CBN_SELCHANGE) {
            showDriveIndex(window);
            adoptKeyFile(window, dialog.keyPath);
            refreshControls(window);
        }
        break;
    case IDC_KEY_FILES:
        if (notification == CBN_SELCHANGE) {
            LRESULT position = SendDlgItemMessageW(window, IDC_KEY_FILES, CB_GETCURSEL, 0, 0);
            if (position >= 0 && chooseDriveEntry(uint32_t(position))) {
                adoptKeyFile(window, dialog.keyPath);
                refreshControls(window);
            }
        }
        break;
    case IDX_SAVE_KEY_NAME:
        dialog.saveKeyName = IsDlgButtonChecked(window, IDX_SAVE_KEY_NAME) == BST_CHECKED;
        break;
    case IDX_USE_DESCRIPTION:
        dialog.useDescription = IsDlgButtonChecked(window, IDX_USE_DESCRIPTION) == BST_CHECKED;
        enableControl(window, IDE_DESCRIPTION, dialog.useDescription);
        break;
    case IDB_REFRESH:
        if (scanDrives(window) == 1) {
            adoptKeyFile(window, dialog.keyPath);
        }
        refreshControls(window);
        break;
    case IDB_ANALYSE:
        analyseKeyFile(window);
        break;
    case IDB_KEYSTORE:
        keyStoreCommand(window);
        break;
    case IDB_CREATE:
        createKeyFile(window);
        break;
    case IDB_DESKTOP:
        desktopFolder(path);
        setPathField(window, IDE_OUTPUT, path);
        break;
    case IDB_SAME:
        takeOutputFolderFrom(window, dialog.inputPath);
        break;
    case IDB_ADD_NAME:
        addName(window);
        break;
    }
}
