#include "ui/main_dialog_win.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "app/startup_win.h"
#include "engine/cmdline_win.h"
#include "engine/job.h"
#include "engine/loading_win.h"
#include "keys/keytools_win.h"
#include "resource.h"
#include "text/wide_win.h"
#include "ui/association_win.h"
#include "ui/chrome_win.h"
#include "ui/controls_win.h"
#include "ui/rules.h"
#include "version.h"

namespace {

// The start-up worker hands each step that touches the window to the dialog's own thread.
constexpr UINT kStartupStep = WM_APP + 1;
enum StartupStep : WPARAM { StepScanDrives, StepLoadArgument, StepMarkMode, StepKeyStoreMeasured };

static_assert(IDO_CLASSIC == IDO_XOR + ModeClassic, "mode buttons are found by adding the mode");

bool isSwitch(const char* argument) {
    char prefix[4] = "";
    cutText(argument, 3, prefix);
    toLowerAscii(prefix);
    for (const char* known : {"/i=", "/o=", "/s=", "/f="}) {
        if (std::strcmp(prefix, known) == 0) {
            return true;
        }
    }
    return false;
}

void runStartupStep(HWND window, WPARAM step, LPARAM argument) {
    DialogState& dialog = gState.dialog;
    switch (step) {
    case StepScanDrives: {
        bool found = scanDrives(window) == 1;
        dialog.keySource = found ? SourceDrive : SourceFile;
        // Both marks, so that the group's tab stop stays with the marked button alone.
        setCheck(window, IDO_DRIVE, found);
        setCheck(window, IDO_FILE, !found);
        break;
    }
    case StepLoadArgument: {
        const char* path = reinterpret_cast<const char*>(argument);
        if (!isSwitch(path)) {
            loadInputFile(window, path);
        } else if (dialog.inputLoaded) {
            // Switches that named an input but no key: show that input, ready for a key.
            char input[kTextCapacity];
            copyText(gState.job.inputPath, input);
            loadInputFile(window, input);
        }
        break;
    }
    case StepMarkMode:
        CheckRadioButton(window, IDO_XOR, IDO_CLASSIC, IDO_XOR + int(dialog.cipherMode));
        break;
    case StepKeyStoreMeasured:
        runWaitingKeyStoreCommand(window);
        break;
    }
}

DWORD WINAPI startupWorker(LPVOID parameter) {
    HWND window = static_cast<HWND>(parameter);
    SendMessageW(window, kStartupStep, StepScanDrives, 0);
    char argument[kTextCapacity];
    if (readArgument(1, argument) == ArgumentFound) {
        SendMessageW(window, kStartupStep, StepLoadArgument, LPARAM(argument));
    }
    SendMessageW(window, kStartupStep, StepMarkMode, 0);
    checkKeyStore(window);
    // Posted, not sent: a KeyStore press that waited for the check may open boxes, and this
    // thread has nothing left to wait for.
    PostMessageW(window, kStartupStep, StepKeyStoreMeasured, 0);
    return 0;
}

void openMainDialog(HWND window) {
    registerFileType();
    gState.mainWindow.store(window);
    HICON icon = LoadIconW(gApp->instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    SendMessageW(window, WM_SETICON, ICON_BIG, LPARAM(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, LPARAM(icon));
    winSetItemText(window, IDE_INPUT, kNoInputText);
    char desktop[kTextCapacity];
    desktopFolder(desktop);
    winSetItemText(window, IDE_OUTPUT, desktop);
    registerOpeningToolTips(window);
    installSystemMenu(window);
    gState.dialog.keyReady = 0;
    HANDLE worker = CreateThread(nullptr, 0, startupWorker, window, 0, nullptr);
    if (worker) {
        CloseHandle(worker);
    }
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        openMainDialog(window);
        return TRUE;
    case WM_COMMAND:
        onCommand(window, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == IDM_ON_TOP) {
            toggleOnTop(window);
        } else {
            DefWindowProcW(window, message, wParam, lParam);
        }
        return TRUE;
    case WM_TIMER:
        reportJob(window, wParam);
        return TRUE;
    case WM_DROPFILES:
        onDropFiles(window, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case kStartupStep:
        runStartupStep(window, wParam, lParam);
        return TRUE;
    case WM_DESTROY:
        gState.mainWindow.store(nullptr);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void runMainDialog() {
    DialogBoxParamW(gApp->instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDialogProc, LPARAM(gApp));
}

void refreshControls(HWND window) {
    ControlStates states = computeControlStates(gState.dialog);
    for (const ControlState& control : states.controls) {
        enableControl(window, control.id, control.enabled);
    }
    if (states.descriptionRuled) {
        enableControl(window, IDE_DESCRIPTION, states.descriptionEnabled);
    }
    winSetItemText(window, IDB_GO, states.goCaption);
    for (const ToolTipText& tip : states.directionTips) {
        setToolTip(window, gApp, tip.id, tip.text);
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
