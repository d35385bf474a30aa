#include "ui/commands_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "engine/filelayer_win.h"
#include "engine/messages.h"
#include "engine/paths.h"
#include "keys/keyring.h"
#include "resource.h"
#include "ui/about_win.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "ui/keycommands_win.h"
#include "ui/keysource_win.h"
#include "ui/loading_win.h"
#include "ui/message_win.h"
#include "ui/report_win.h"
#include "ui/worker_win.h"
#include "version.h"
#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

// The open-file picker's request is kept for the whole run, so the filter last used is offered
// again.
OPENFILENAMEW gPicker;
wchar_t gPickedFile[kWideCapacity];

// Opens at `path`: a file, or a folder given with its trailing backslash; the documents folder
// when it is neither.
bool chooseFile(HWND window, char* path) {
    // A folder goes in with a trailing backslash: without it the picker takes the folder's name
    // for a file name and opens in its parent.
    const DWORD attributes = winFileAttributes(path);
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        path[0] != '\0' && path[textLength(path) - 1] == '\\';
    if (!folder && !opensForReading(path, FILE_SHARE_READ) &&
        (!winSpecialFolder(CSIDL_PERSONAL, path, kTextCapacity) ||
         !withTrailingBackslash(path, kTextCapacity))) {
        path[0] = '\0';
    }
    if (!toWide(path, gPickedFile, kWideCapacity)) {
        gPickedFile[0] = L'\0';
    }
    gPicker.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    gPicker.hwndOwner = window;
    gPicker.hInstance = gPlace.instance;
    gPicker.lpstrFilter = L"All Files\0*.*\0Nimbrel Files\0*.Qdx\0";
    gPicker.lpstrFile = gPickedFile;
    gPicker.nMaxFile = DWORD(kWideCapacity);
    gPicker.lpstrTitle = L"" NIMBREL_TITLE;
    gPicker.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    return GetOpenFileNameW(&gPicker) != 0 && toUtf8(gPickedFile, path, kTextCapacity);
}

bool browseFolder(HWND window, char* path) {
    wchar_t displayName[MAX_PATH];
    BROWSEINFOW request{};
    request.hwndOwner = window;
    request.pszDisplayName = displayName;
    request.lpszTitle = L"Output Directory:";
    request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX;
    LPITEMIDLIST chosen = SHBrowseForFolderW(&request);
    if (!chosen) {
        return false;
    }
    wchar_t folder[MAX_PATH] = L"";
    bool ok = SHGetPathFromIDListW(chosen, folder) && toUtf8(folder, path, kTextCapacity);
    CoTaskMemFree(chosen);
    return ok;
}

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

// The key file a container names off this computer's drives is opened only now, when the user
// starts the job with it. False, with the read error shown, when it cannot be.
bool adoptHeldKey(HWND window) {
    char held[kTextCapacity];
    copyText(gState.dialog.keyPath, held);
    adoptKeyFile(window, held);
    refreshControls(window);
    if (gState.dialog.keyReady) {
        return true;
    }
    char message[kMessageCapacity];
    composeReadError(held, message, sizeof message);
    showError(window, message, true);
    return false;
}

void addName(HWND window) {
    char folder[kTextCapacity];
    winItemText(window, IDE_OUTPUT, folder, sizeof folder);
    char name[kTextCapacity];
    char stem[kTextCapacity];
    // A name that does not fit leaves the folder as it was.
    if (withTrailingBackslash(folder) && fileNameOf(gState.dialog.inputPath, name, sizeof name) &&
        stripExtension(name, stem, sizeof stem) && appendText(folder, stem)) {
        winSetItemText(window, IDE_OUTPUT, folder);
    }
}

} // namespace

void startJob(HWND window) {
    // Only the disabled Go button keeps a second start out; a command 1 from elsewhere (Enter
    // in a field, another program) must not start a second job beside the first.
    if (jobRunning()) {
        return;
    }
    DialogState& dialog = gState.dialog;
    JobRequest request;
    resetJobRequest(request);
    winItemText(window, IDE_INPUT, request.inputPath, sizeof request.inputPath);
    winItemText(window, IDE_OUTPUT, request.outputFolder, sizeof request.outputFolder);
    request.direction = dialog.direction;
    request.mode = dialog.cipherMode;
    request.stored = dialog.stored;
    if (dialog.keySource == SourceFile) {
        winItemText(window, IDE_KEY_FILE, dialog.keyPath, sizeof dialog.keyPath);
        request.saveKeyName = IsDlgButtonChecked(window, IDX_SAVE_KEY_NAME) == BST_CHECKED;
    } else if (dialog.keySource == SourceString) {
        request.keyKind = KeyKind::Text;
        char typed[kTextCapacity];
        winItemText(window, IDE_KEY_STRING, typed, sizeof typed);
        if (!keyStringBytes(typed, request.keyText, sizeof request.keyText, kKeyFieldBytes)) {
            showError(window, kKeyStringOutsideCodePage, true);
            return;
        }
        // An empty key string is the public default key: a user who forgot to type one would
        // believe the file protected. Decrypting with it, and the windowless run, are not asked.
        if (request.keyText[0] == '\0' && dialog.direction == Encrypt &&
            showMessage(window, MessageRequest{kPublicKeyQuestion, kPublicKeyCancel, kPublicKeyGoOn, 1,
                                               AnswerYes}) != AnswerNo) {
            return;
        }
    }
    if (dialog.keyPending && dialog.keySource != SourceString && !adoptHeldKey(window)) {
        return;
    }
    copyText(dialog.keyPath, request.keyPath);
    OutputNames names;
    nameOutput(request, names);
    winSetWindowText(window, names.caption);

    bool abandon = false;
    char outputPath[kTextCapacity];
    if (joinOutputPath(request.outputFolder, names.outputName, outputPath, sizeof outputPath) &&
        names.outputName[0] != '\0' && opensForReading(outputPath, FILE_SHARE_READ)) {
        abandon = showMessage(window, MessageRequest{kOutputExists, kOverwrite, kAbortXor, 0, AnswerNo}) ==
                  AnswerNo;
    }
    if (abandon || !(dialog.keyReady || dialog.keySource == SourceString)) {
        winSetWindowText(window, NIMBREL_TITLE); // no job is running
        return;
    }

    request.useDescription = dialog.useDescription;
    winItemText(window, IDE_DESCRIPTION, request.description, sizeof request.description);
    BOOL number = FALSE;
    UINT count = GetDlgItemInt(window, IDE_BYTE_COUNT, &number, FALSE);
    request.keyBytes = keyBytesInUse(dialog.keyBytes, number ? count : 0);
    if (request.mode == ModeClassic && request.direction == Encrypt && request.keyKind == KeyKind::File &&
        request.keyBytes < dialog.keyBytes) {
        const std::string n = std::to_string(request.keyBytes);
        const std::string text = kUseCountLead + n + kUseCountMiddle + n + kUseCountTail;
        showAdvice(window, text.c_str());
    }
    copyText(request.inputPath, dialog.jobInput);
    copyText(names.outputName, dialog.jobOutputName);

    // From here the worker owns its copy of the request, and the window only polls gState.job.
    gState.job.progress.store(kProgressStarted, std::memory_order_release);
    showControl(window, IDB_HELP, false);
    showControl(window, IDB_ABOUT, false);
    SendDlgItemMessageW(window, IDP_PROGRESS, PBM_SETPOS, 0, 0);
    showControl(window, IDP_PROGRESS, true);
    // The Go button is about to be disabled. The keyboard focus goes to the progress bar, where
    // Enter and Space do nothing: on "Close" a held Enter would end the program and the job.
    SendMessageW(window, WM_NEXTDLGCTL, WPARAM(GetDlgItem(window, IDP_PROGRESS)), TRUE);
    refreshControls(window);
    if (!startJobWorker(request, gState.job, &gState.mainWindow, windowJobFront())) {
        gState.job.result.store(ResultNoMemory, std::memory_order_relaxed);
        gState.job.hundredths.store(0, std::memory_order_relaxed);
        gState.job.progress.store(kProgressEnded, std::memory_order_release);
    }
    SetTimer(window, kJobTimer, kJobTimerPeriod, nullptr);
}

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

void onCommand(HWND window, int id, int notification) {
    DialogState& dialog = gState.dialog;
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
            winItemText(window, IDE_INPUT, path, sizeof path);
            if (chooseFile(window, path)) {
                loadInputFile(window, path);
            }
        }
        break;
    case IDB_BROWSE:
        if (browseFolder(window, path)) {
            winSetItemText(window, IDE_OUTPUT, path);
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
        winItemText(window, IDE_KEY_FILE, path, sizeof path);
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
        winSetItemText(window, IDE_OUTPUT, path);
        break;
    case IDB_SAME:
        takeOutputFolderFrom(window, dialog.inputPath);
        break;
    case IDB_ADD_NAME:
        addName(window);
        break;
    }
}
