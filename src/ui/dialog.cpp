#include "ui/dialog.h"

#include <cstring>

ProgramState gState;

namespace {
// Static storage is zero-filled first; this sets the one value that does not start at zero.
[[maybe_unused]] const bool gDialogReady = (resetDialogState(gState.dialog), true);
} // namespace

void resetDialogState(DialogState& dialog) {
    std::memset(&dialog, 0, sizeof dialog);
    dialog.direction = Encrypt;
}

void takeKeyString(DialogState& dialog, const char* codePageBytes, bool inCodePage) {
    dialog.keyText[0] = '\0';
    if (!inCodePage) {
        dialog.keyTextState = KeyTextState::OutsideCodePage;
    } else if (boundedLength(codePageBytes, kKeyFieldBytes + 1) > kKeyFieldBytes) {
        dialog.keyTextState = KeyTextState::TooLong; // refused whole, never cut
    } else {
        copyText(codePageBytes, dialog.keyText);
        dialog.keyTextState = KeyTextState::Usable;
    }
}

RequestCheck jobRequestFor(const DialogState& dialog, JobRequest& request) {
    resetJobRequest(request);
    copyText(dialog.inputField, request.inputPath);
    copyText(dialog.outputFolder, request.outputFolder);
    request.direction = dialog.direction;
    request.mode = dialog.cipherMode;
    request.stored = dialog.stored;
    request.useDescription = dialog.useDescription;
    copyText(dialog.description, request.description);
    if (dialog.keySource == SourceString) {
        request.keyKind = KeyKind::Text;
        if (dialog.keyTextState != KeyTextState::Usable) {
            return dialog.keyTextState == KeyTextState::TooLong ? RequestCheck::KeyStringTooLong
                                                                : RequestCheck::KeyStringOutsideCodePage;
        }
        copyText(dialog.keyText, request.keyText);
        return RequestCheck::Ready;
    }
    // A key file is the one the field shows; a drive's is the one its list resolved to.
    copyText(dialog.keySource == SourceFile ? dialog.keyFileField : dialog.keyPath, request.keyPath);
    request.saveKeyName = dialog.keySource == SourceFile && dialog.saveKeyName;
    request.keyBytes = keyBytesInUse(dialog.keyBytes, dialog.byteCount);
    return RequestCheck::Ready;
}
