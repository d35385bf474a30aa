#include "ui/main_dialog_win.h"

#include <windows.h>

#include <shellapi.h>

#include <new>

#include "resource.h"
#include "ui/association_win.h"
#include "ui/chrome_win.h"
#include "ui/commands_win.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/drops_win.h"
#include "ui/folders_win.h"
#include "ui/keycommands_win.h"
#include "ui/keysource_win.h"
#include "ui/loading_win.h"
#include "ui/report_win.h"
#include "version.h"
#include "win/wide_win.h"

namespace {

// The start-up worker hands each step that touches the window to the dialog's own thread.
constexpr UINT kStartupStep = WM_APP + 1;
enum StartupStep : WPARAM { StepScanDrives, StepLoadInput, StepMarkMode, StepKeyStoreChecked };

static_assert(IDO_CLASSIC == IDO_XOR + ModeClassic, "mode buttons are found by adding the mode");

char gInitialInput[kTextCapacity];

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
    case StepLoadInput:
        loadInputFile(window, gInitialInput);
        break;
    case StepMarkMode:
        CheckRadioButton(window, IDO_XOR, IDO_CLASSIC, IDO_XOR + int(dialog.cipherMode));
        break;
    case StepKeyStoreChecked: {
        auto* report = reinterpret_cast<KeyStoreReport*>(argument);
        showKeyStoreCheck(window, *report);
        delete report;
        break;
    }
    }
}

// Runs beside the dialog's thread so that a slow drive or a large KeyStore fill never holds the
// window up. It only reads files: every step that shows something is the dialog thread's.
DWORD WINAPI startupWorker(LPVOID parameter) {
    HWND window = static_cast<HWND>(parameter);
    SendMessageW(window, kStartupStep, StepScanDrives, 0);
    if (gInitialInput[0] != '\0') {
        SendMessageW(window, kStartupStep, StepLoadInput, 0);
    }
    SendMessageW(window, kStartupStep, StepMarkMode, 0);
    auto* report = new (std::nothrow) KeyStoreReport(checkKeyStoreFiles());
    // Posted, not sent: a KeyStore press that waited for the check may open boxes, and this
    // thread has nothing left to wait for. A report that cannot be handed over is freed here;
    // the KeyStore button then keeps waiting, as with a check that never ended.
    if (report && !PostMessageW(window, kStartupStep, StepKeyStoreChecked, LPARAM(report))) {
        delete report;
    }
    return 0;
}

void openMainDialog(HWND window) {
    registerFileType();
    gState.mainWindow.store(window);
    HICON icon = LoadIconW(gPlace.instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    SendMessageW(window, WM_SETICON, ICON_BIG, LPARAM(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, LPARAM(icon));
    setPathField(window, IDE_INPUT, kNoInputText);
    char desktop[kTextCapacity];
    desktopFolder(desktop);
    setPathField(window, IDE_OUTPUT, desktop);
    // The field takes no more than the window keeps of a key string: nothing is cut unseen.
    SendDlgItemMessageW(window, IDE_KEY_STRING, EM_LIMITTEXT, kKeyFieldBytes, 0);
    registerOpeningToolTips(window);
    installSystemMenu(window);
    gState.dialog.keyReady = false;
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
        // Esc reaches the dialog as the Close button's command (both are IDCANCEL). While a job
        // runs only a deliberate close ends it: the button itself, which takes the focus when it
        // is clicked, the title bar's close, or "Quit Nimbrel", which names no control.
        if (LOWORD(wParam) == IDB_CLOSE && lParam != 0 && jobRunning() &&
            GetFocus() != GetDlgItem(window, IDB_CLOSE)) {
            return TRUE;
        }
        onCommand(window, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        onCommand(window, IDB_CLOSE, BN_CLICKED);
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
    case kJobQuestion:
        answerJobQuestion(window, lParam);
        return TRUE;
    case WM_DESTROY:
        gState.mainWindow.store(nullptr);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void runMainDialog(const char* initialInput) {
    copyText(initialInput, gInitialInput);
    DialogBoxParamW(gPlace.instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDialogProc, 0);
}
