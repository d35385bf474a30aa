// The poll of a running job on timer 1: progress, the final message, and the window's return
// to its idle state.
#include "ui/report_win.h"

#include <commctrl.h>

#include "engine/messages.h"
#include "keys/keyledger.h"
#include "resource.h"
#include "text/wide_win.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "ui/message_win.h"
#include "version.h"

namespace {

void resetAfterJob(HWND window) {
    DialogState& dialog = gState.dialog;
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
    // The job took the loaded input and key with it: the next job starts from a new load.
    dialog.inputLoaded = false;
    dialog.keyReady = false;
    dialog.nextDropIsKey = false;
    gState.job.progress.store(kProgressIdle, std::memory_order_release);
    refreshControls(window);
    SendDlgItemMessageA(window, IDP_PROGRESS, PBM_SETPOS, 0, 0);
}

} // namespace

void reportJob(HWND window, UINT_PTR timerId) {
    if (timerId != kJobTimer) {
        return;
    }
    JobStatus& job = gState.job;
    uint32_t progress = job.progress.load(std::memory_order_acquire);
    if (progress >= kProgressStarted) {
        SendDlgItemMessageA(window, IDP_PROGRESS, PBM_SETPOS, progressPercent(progress), 0);
    }
    // A message already open (the start-up's, an analysis) is answered first; the report
    // follows at a later tick.
    if (progress != kProgressEnded || messageBoxOpen()) {
        return;
    }
    KillTimer(window, kJobTimer);
    char message[kMessageCapacity];
    if (composeJobReport(job.result.load(std::memory_order_relaxed),
                         job.hundredths.load(std::memory_order_relaxed), gState.dialog.jobInput,
                         gState.dialog.jobOutputName, message, sizeof message)) {
        showError(window, message, false);
        // After the job's own report: the file is done whatever became of the ledger.
        auto note = LedgerNote(job.ledger.load(std::memory_order_relaxed));
        if (note != LedgerNote::None && !gState.ledgerNoted) {
            gState.ledgerNoted = true;
            char path[kTextCapacity];
            joinText(dataFolder, kLedgerFileName, path);
            composeLedgerNote(note, path, message, sizeof message);
            showAdvice(window, message);
        }
    }
    resetAfterJob(window);
}
