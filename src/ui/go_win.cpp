#include "ui/go_win.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "engine/messages.h"
#include "engine/paths.h"
#include "resource.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/keysource_win.h"
#include "ui/loading_win.h"
#include "ui/message_win.h"
#include "ui/report_win.h"
#include "ui/worker_win.h"
#include "version.h"
#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

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

// Go runs only on what the window has loaded: a path typed into the input field is loaded first,
// with every check and message a chosen file gets. The output folder stays the one the window
// shows. False when it could not be loaded: no job then.
bool loadTypedInput(HWND window) {
    DialogState& dialog = gState.dialog;
    if (dialog.inputLoaded && std::strcmp(dialog.inputField, dialog.inputPath) == 0) {
        return true;
    }
    char typed[kTextCapacity];
    char output[kTextCapacity];
    copyText(dialog.inputField, typed);
    copyText(dialog.outputFolder, output);
    if (loadInputFile(window, typed) != LoadOutcome::Loaded) {
        return false;
    }
    setPathField(window, IDE_OUTPUT, output);
    return true;
}

// The questions every job is asked before it starts, the harmless answer on the lower button.
// False when the user leaves it.
bool agreedBeforeJob(HWND window, const JobRequest& request, const char* outputPath) {
    // An empty key string is the public default key: a user who forgot to type one would believe
    // the file protected, or decrypt one made with another key into garbage.
    if (request.keyKind == KeyKind::Text && request.keyText[0] == '\0') {
        const bool encrypting = request.direction == Encrypt;
        const MessageRequest question{encrypting ? kPublicKeyQuestion : kPublicKeyDecryptQuestion,
                                      encrypting ? kPublicKeyGoOn : kPublicKeyDecryptGoOn, kPublicKeyCancel,
                                      1, AnswerNo};
        if (showMessage(window, question) != AnswerYes) {
            return false;
        }
    }
    if (outputPath[0] != '\0' && opensForReading(outputPath, FILE_SHARE_READ)) {
        char text[kMessageCapacity];
        composeAroundPath(kOutputExistsLead, outputPath, ".", text, sizeof text);
        return showMessage(window, MessageRequest{text, kOverwrite, kAbortXor, 0, AnswerNo}) == AnswerYes;
    }
    return true;
}

} // namespace

void startJob(HWND window) {
    // Only the disabled Go button keeps a second start out; a command 1 from elsewhere (Enter
    // in a field, another program) must not start a second job beside the first.
    if (jobRunning() || !loadTypedInput(window)) {
        return;
    }
    DialogState& dialog = gState.dialog;
    if (dialog.keySource == SourceFile) {
        copyText(dialog.keyFileField, dialog.keyPath); // the key file is the one the field shows
    }
    JobRequest request;
    switch (jobRequestFor(dialog, request)) {
    case RequestCheck::Ready:
        break;
    case RequestCheck::KeyStringOutsideCodePage:
        showError(window, kKeyStringOutsideCodePage, true);
        return;
    case RequestCheck::KeyStringTooLong: {
        char message[kMessageCapacity];
        composeKeyStringTooLong(message, sizeof message);
        showError(window, message, true);
        return;
    }
    }
    if (dialog.keyPending && dialog.keySource != SourceString) {
        if (!adoptHeldKey(window)) {
            return;
        }
        jobRequestFor(dialog, request);
    }
    if (!(dialog.keyReady || dialog.keySource == SourceString)) {
        return;
    }
    OutputNames names;
    nameOutput(request, names);
    char outputPath[kTextCapacity] = "";
    if (names.outputName[0] != '\0') {
        joinOutputPath(request.outputFolder, names.outputName, outputPath, sizeof outputPath);
    }
    // The caption names the job only once it runs: the job's own first step sets it.
    if (!agreedBeforeJob(window, request, outputPath)) {
        return;
    }
    if (request.mode == ModeClassic && request.direction == Encrypt && request.keyKind == KeyKind::File &&
        request.keyBytes < dialog.keyBytes) {
        const std::string n = std::to_string(request.keyBytes);
        const std::string text = kUseCountLead + n + kUseCountMiddle + n + kUseCountTail;
        showAdvice(window, text.c_str());
    }
    copyText(request.inputPath, dialog.jobInput);
    copyText(outputPath[0] != '\0' ? outputPath : names.outputName, dialog.jobOutputPath);

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
