#include "ui/keysource_win.h"

#include <string>
#include <vector>

#include "engine/messages.h"
#include "keys/adopt_win.h"
#include "keys/drives_win.h"
#include "resource.h"
#include "ui/controls_win.h"
#include "ui/message_win.h"
#include "win/wide_win.h"

void adoptKeyFile(HWND window, const char* path) {
    DialogState& dialog = gState.dialog;
    char adopted[kTextCapacity] = "";
    copyText(path, adopted); // the path may be keyPath itself
    dialog.keyPending = false;
    uint32_t bytes = 0;
    if (!measureKeyFile(adopted, bytes)) {
        dialog.keyBytes = 0;
        dialog.keyReady = false;
        dialog.keyPath[0] = '\0';
    } else {
        dialog.keyBytes = bytes;
        if (dialog.cipherMode == ModeXor && window && bytes < dialog.inputSize) {
            showAdvice(window, kKeySizeAdvice);
        }
        dialog.keyReady = true;
        if (dialog.cipherMode == ModeClassic) {
            setCheck(window, IDX_SAVE_KEY_NAME, true);
            dialog.saveKeyName = true;
        }
        copyText(adopted, dialog.keyPath);
    }
    setPathField(window, IDE_KEY_FILE, dialog.keyPath);
    setFieldNumber(window, IDE_BYTE_COUNT, dialog.keyBytes);
}

void holdKeyFile(HWND window, const char* path) {
    DialogState& dialog = gState.dialog;
    if (path != dialog.keyPath) {
        copyText(path, dialog.keyPath);
    }
    dialog.keyBytes = 0;
    dialog.keyReady = false;
    dialog.keyPending = dialog.keyPath[0] != '\0';
    setPathField(window, IDE_KEY_FILE, dialog.keyPath);
    setFieldNumber(window, IDE_BYTE_COUNT, 0);
}

void markKeySource(HWND window, KeySource source) {
    gState.dialog.keySource = source;
    setCheck(window, IDO_DRIVE, source == SourceDrive);
    setCheck(window, IDO_FILE, source == SourceFile);
    setCheck(window, IDO_STRING, source == SourceString);
}

uint32_t scanDrives(HWND window) {
    SendDlgItemMessageW(window, IDC_DRIVES, CB_RESETCONTENT, 0, 0);
    SendDlgItemMessageW(window, IDC_KEY_FILES, CB_RESETCONTENT, 0, 0);
    const std::string letters = findKeyDrives();
    for (size_t i = 0; i < letters.size(); ++i) {
        const char letter[2] = {letters[i], '\0'};
        winInsertComboText(window, IDC_DRIVES, uint32_t(i), letter);
    }
    if (letters.empty()) {
        return 0;
    }
    SendDlgItemMessageW(window, IDC_DRIVES, CB_SETCURSEL, 0, 0);
    return showDriveIndex(window);
}

uint32_t showDriveIndex(HWND window) {
    SendDlgItemMessageW(window, IDC_KEY_FILES, CB_RESETCONTENT, 0, 0);
    char drive[kTextCapacity] = "";
    winItemText(window, IDC_DRIVES, drive, sizeof drive);
    std::vector<std::string> names;
    bool hasEntry = readDriveIndex(drive, names);
    for (size_t i = 0; i < names.size(); ++i) {
        winInsertComboText(window, IDC_KEY_FILES, uint32_t(i), names[i].c_str());
    }
    if (!hasEntry) {
        return 0;
    }
    SendDlgItemMessageW(window, IDC_KEY_FILES, CB_SETCURSEL, 0, 0);
    DialogState& dialog = gState.dialog;
    dialog.driveEntry = 0;
    resolveDriveEntry(dialog.driveEntry, dialog.keyPath, sizeof dialog.keyPath);
    return 1;
}

bool chooseDriveEntry(uint32_t position) {
    DialogState& dialog = gState.dialog;
    if (position == dialog.driveEntry) {
        return false;
    }
    dialog.driveEntry = position;
    resolveDriveEntry(dialog.driveEntry, dialog.keyPath, sizeof dialog.keyPath);
    return true;
}
