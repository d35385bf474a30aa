#include "ui/keycommands_win.h"

#include <wincrypt.h>

#include "engine/messages.h"
#include "keys/analyse_win.h"
#include "keys/keygen_win.h"
#include "keys/keylength.h"
#include "resource.h"
#include "ui/controls_win.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "ui/keysource_win.h"
#include "ui/message_win.h"
#include "win/wide_win.h"

namespace {

constexpr char kNoRandomSource[] =
    "Cannot create Keyfile. This is generally caused by a failure in initialising the Crypto routine.";

// Names "KeyFile.txt" in the output folder the field shows; when one is there already, asks
// before it is replaced. False when the user keeps the old key.
bool nameKeyFile(HWND window, char* folder, KeyFileDraft& key, bool& named) {
    copyText(gState.dialog.outputFolder, folder, kTextCapacity);
    named = prepareKeyFile(folder, key);
    if (!named || !keyFileExists(key)) {
        return true;
    }
    char text[kMessageCapacity];
    composeAroundPath(kKeyFileExistsLead, folder, kKeyFileExistsTail, text, sizeof text);
    return showMessage(window, MessageRequest{text, kKeyFileReplaceYes, kKeyFileReplaceNo, 1, AnswerNo}) ==
           AnswerYes;
}

void showNotice(HWND window, const KeyStoreNotice& notice) {
    if (notice.lead) {
        char text[kMessageCapacity];
        composeAroundPath(notice.lead, notice.path, notice.tail, text, sizeof text);
        showError(window, text, true);
    }
}

void takeStatus(const KeyStoreReport& report) {
    if (report.statusChanged) {
        gState.dialog.keyStoreStatus = report.status;
    }
}

// A check's or a fill's report: the status it leaves, then what it has to say.
void takeReport(HWND window, const KeyStoreReport& report) {
    takeStatus(report);
    showNotice(window, report.notice);
}

struct CommandContext {
    HWND window;
};

bool askUser(void* context, const KeyStorePrompt& prompt) {
    HWND window = static_cast<CommandContext*>(context)->window;
    MessageAnswer harmless = prompt.advice ? AnswerYes : AnswerNo;
    return showMessage(window, MessageRequest{prompt.text, prompt.yesText, prompt.noText, 1, harmless}) ==
           AnswerYes;
}

KeyStoreStatus fillFor(void* context) {
    fillKeyStore(static_cast<CommandContext*>(context)->window);
    return keyStoreStatus();
}

KeyStoreStatus drawFor(void* context) {
    drawKeyFile(static_cast<CommandContext*>(context)->window);
    return keyStoreStatus();
}

void readMeFor(void*) {
    openReadMe();
}

} // namespace

void createKeyFile(HWND window) {
    char folder[kTextCapacity];
    KeyFileDraft key;
    bool named = false;
    if (!nameKeyFile(window, folder, key, named)) {
        refreshControls(window);
        return;
    }
    HCRYPTPROV source = 0;
    if (!acquireRandomSource(source)) {
        showError(window, kNoRandomSource, false);
        return;
    }
    // No folder, or one whose path cannot hold the key file's: as if it could not be made.
    uint32_t length = keyLengthFor(gState.dialog.inputSize);
    DraftResult result = named ? writeKeyFile(key, length, randomKeyBytes, &source) : DraftWriteFailed;
    char reason[kMessageCapacity / 2] = "";
    if (result == DraftWriteFailed && named) {
        winSystemMessage(GetLastError(), reason, sizeof reason);
    }
    CryptReleaseContext(source, 0);
    char text[kMessageCapacity];
    if (result == DraftFillFailed) {
        // Never a key of zeros: a random source that fails to fill writes nothing.
        showError(window, kNoRandomSource, false);
    } else if (result == DraftWriteFailed) {
        adoptKeyFile(window, "");
        composeWriteError(named ? key.path : folder, text, sizeof text, reason);
        showError(window, text, true);
    } else {
        adoptKeyFile(window, key.path);
        refreshControls(window);
        // Written beside the file it is for, where it must not stay.
        composeAroundPath(kKeyFileWrittenLead, key.path, kKeyFileWrittenTail, text, sizeof text);
        showAdvice(window, text);
    }
    refreshControls(window);
}

void analyseKeyFile(HWND window) {
    const DialogState& dialog = gState.dialog;
    char text[kMessageCapacity];
    analyseKeyFileAt(dialog.keyFileField,
                     dialog.inputLoaded && dialog.direction == Encrypt ? dialog.inputPath : "",
                     dialog.inputSize, text, sizeof text);
    showAdvice(window, text);
}

KeyStoreStatus keyStoreStatus() {
    return gState.dialog.keyStoreStatus;
}

void keyStoreCommand(HWND window) {
    DialogState& dialog = gState.dialog;
    if (!dialog.keyStoreMeasured) {
        dialog.keyStoreCommandWaiting = true;
        return;
    }
    // A store or pad file without data may have been filled by Padforge since it was measured:
    // measured again, the answer is what is on disk now.
    const KeyStoreState state = dialog.keyStoreStatus.state;
    if (state == KeyStoreState::NoPad || state == KeyStoreState::PadTooSmall ||
        state == KeyStoreState::Empty) {
        takeReport(window, checkKeyStoreFiles());
    }
    KeyStoreStatus status = dialog.keyStoreStatus;
    CommandContext context{window};
    KeyStoreActions actions{&context, askUser, fillFor, drawFor, readMeFor};
    runKeyStoreCommand(status, dialog.inputSize, actions);
}

void showKeyStoreCheck(HWND window, const KeyStoreReport& report) {
    DialogState& dialog = gState.dialog;
    takeReport(window, report);
    if (report.repaired[0] != '\0') {
        showError(window, report.repaired, true);
    }
    dialog.keyStoreMeasured = true;
    bool waiting = dialog.keyStoreCommandWaiting;
    dialog.keyStoreCommandWaiting = false;
    // A job or another command may have started meanwhile; the button says whether it still may.
    if (waiting && IsWindowEnabled(GetDlgItem(window, IDB_KEYSTORE))) {
        keyStoreCommand(window);
    }
}

void checkKeyStore(HWND window) {
    showKeyStoreCheck(window, checkKeyStoreFiles());
}

void fillKeyStore(HWND window) {
    takeReport(window, fillKeyStoreFiles());
}

void drawKeyFile(HWND window) {
    char folder[kTextCapacity];
    KeyFileDraft key;
    bool named = false;
    if (!nameKeyFile(window, folder, key, named)) {
        refreshControls(window); // the old key stays, and nothing is drawn
        return;
    }
    KeyStoreReport report = drawKeyStoreFile(named ? &key : nullptr, folder, gState.dialog.inputSize,
                                             gState.dialog.keyStoreStatus.size);
    takeStatus(report);
    // The store is already cut when the key is adopted: a box shown now, or the end of the
    // program while it is open, cannot leave the drawn bytes in the store.
    adoptKeyFile(window, report.keyFile);
    showNotice(window, report.notice);
    refreshControls(window);
}
