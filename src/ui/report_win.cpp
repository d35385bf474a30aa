// The poll of a running job on timer 1: progress, the final message, and the window's return
// to its idle state.
#include <windows.h>

#include <commctrl.h>

#include "app/message_win.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "resource.h"
#include "text/wide_win.h"
#include "ui/controls_win.h"
#include "ui/main_dialog_win.h"
#include "version.h"

namespace {

void resetAfterJob(HWND window) {
    JobSettings& job = gState.job;
    winSetWindowText(window, NIMBREL_TITLE);
    // The progress bar held the focus during the job; the input field takes it, as at opening.
    SendMessageA(window, WM_NEXTDLGCTL, WPARAM(GetDlgItem(window, IDE_INPUT)), TRUE);
    showControl(window, IDP_PROGRESS, false);
    showControl(window, IDB_HELP, true);
    showControl(window, IDB_ABOUT, true);
    winSetItemText(window, IDE_INPUT, kNoInputText);
    winSetItemText(window, IDE_KEY_FILE, "");
    SetDlgItemInt(window, IDE_BYTE_COUNT, 0, FALSE);
    char desktop[kTextCapacity];
    desktopFolder(desktop);
    winSetItemText(window, IDE_OUTPUT, desktop);
    gState.dialog.keyReady = 0;
    refreshControls(window);
    job.progress.store(kProgressIdle, std::memory_order_release);
    SendDlgItemMessageA(window, IDP_PROGRESS, PBM_SETPOS, 0, 0);
}

} // namespace

void reportJob(HWND window, UINT_PTR timerId) {
    if (timerId != kJobTimer) {
        return;
    }
    JobSettings& job = gState.job;
    uint32_t progress = job.progress.load(std::memory_order_acquire);
    if (progress >= kProgressStarted) {
        SendDlgItemMessageA(window, IDP_PROGRESS, PBM_SETPOS, progress - kProgressStarted, 0);
    }
    // A message already open (the start-up's, an analysis) is answered first; the report
    // follows at a later tick.
    if (progress != kProgressEnded || messageBoxOpen()) {
        return;
    }
    KillTimer(window, kJobTimer);
    char message[kMessageCapacity];
    if (composeJobReport(job.resultCode.load(std::memory_order_relaxed),
                         job.jobTime.load(std::memory_order_relaxed), job.inputPath, job.outputName, message,
                         sizeof message)) {
        showError(window, message, false);
    }
    resetAfterJob(window);
}
