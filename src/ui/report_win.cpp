// The poll of a running job on timer 1: progress, the final message, and the window's return
// to its idle state.
#include "ui/report_win.h"

#include <commctrl.h>

#include "engine/messages.h"
#include "keys/keyledger.h"
#include "keys/ledger_win.h"
#include "resource.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "ui/message_win.h"
#include "version.h"
#include "win/wide_win.h"

namespace {

// A question the job's worker waits on, or a note.
struct JobQuestion {
    LedgerSituation situation;
    const char* text;
    bool question;
    bool agreed;
};

void sendToWindow(JobQuestion& question) {
    if (HWND window = static_cast<HWND>(gState.mainWindow.load())) {
        SendMessageW(window, kJobQuestion, 0, LPARAM(&question));
    }
}

bool askInWindow(void*, LedgerSituation situation, const char* text) {
    JobQuestion question{situation, text, true, false};
    sendToWindow(question);
    return question.agreed;
}

void tellInWindow(void*, LedgerSituation situation, const char* text) {
    JobQuestion note{situation, text, false, false};
    sendToWindow(note);
}

// Each kind of ledger note once a run.
void sayLedgerNote(HWND window, LedgerSituation situation, const char* text) {
    if (!(gState.ledgerSaid & situation)) {
        gState.ledgerSaid |= situation;
        showAdvice(window, text);
    }
}

// Back to idle. A job the user declined never started: its input and key stay loaded.
void resetAfterJob(HWND window, bool declined) {
    DialogState& dialog = gState.dialog;
    winSetWindowText(window, NIMBREL_TITLE);
    // The progress bar held the focus during the job; the input field takes it, as at opening.
    SendMessageA(window, WM_NEXTDLGCTL, WPARAM(GetDlgItem(window, IDE_INPUT)), TRUE);
    showControl(window, IDP_PROGRESS, false);
    showControl(window, IDB_HELP, true);
    showControl(window, IDB_ABOUT, true);
    SendDlgItemMessageA(window, IDP_PROGRESS, PBM_SETPOS, 0, 0);
    if (declined) {
        gState.job.progress.store(kProgressIdle, std::memory_order_release);
        refreshControls(window);
        return;
    }
    setPathField(window, IDE_INPUT, kNoInputText);
    setPathField(window, IDE_KEY_FILE, "");
    SetDlgItemInt(window, IDE_BYTE_COUNT, 0, FALSE);
    char desktop[kTextCapacity];
    desktopFolder(desktop);
    setPathField(window, IDE_OUTPUT, desktop);
    // The job took the loaded input and key with it: the next job starts from a new load.
    dialog.inputLoaded = false;
    dialog.keyReady = false;
    dialog.nextDropIsKey = false;
    gState.job.progress.store(kProgressIdle, std::memory_order_release);
    refreshControls(window);
}

} // namespace

JobFront windowJobFront() {
    return JobFront{JobRunHooks{nullptr, askInWindow, tellInWindow, nullptr}, gPlace.dataFolder};
}

void answerJobQuestion(HWND window, LPARAM parameter) {
    auto& question = *reinterpret_cast<JobQuestion*>(parameter);
    if (question.question) {
        // As in every question of the program, the harmless answer is the lower button.
        question.agreed = showMessage(window, MessageRequest{question.text, goOnCaption(question.situation),
                                                             kLedgerCancel, 0, AnswerNo}) == AnswerYes;
    } else {
        sayLedgerNote(window, question.situation, question.text);
    }
}

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
    char reason[256] = "";
    winSystemMessage(job.failure.load(std::memory_order_relaxed), reason, sizeof reason);
    if (composeJobReport(job.result.load(std::memory_order_relaxed),
                         job.hundredths.load(std::memory_order_relaxed), gState.dialog.jobInput,
                         gState.dialog.jobOutputPath, reason, message, sizeof message)) {
        showError(window, message, false);
        // After the job's own report: the file is done whatever became of the ledger.
        WinLedger ledger;
        LedgerFiles files;
        windowsLedgerFiles(gPlace.dataFolder, ledger, files);
        for (uint32_t notes = job.afterNote.load(std::memory_order_relaxed); notes != 0;) {
            const LedgerSituation note = firstSituation(notes);
            notes &= ~uint32_t(note);
            composeLedgerSituation(note, LedgerReading{}, files, message, sizeof message);
            sayLedgerNote(window, note, message);
        }
    }
    resetAfterJob(window, job.result.load(std::memory_order_relaxed) == ResultDeclined);
}
