#include "keys/adopt_win.h"

#include "app/files_win.h"
#include "app/message_win.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "resource.h"
#include "ui/controls_win.h"

void adoptKeyFile(const char* path, HWND window) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    char adopted[kTextCapacity] = "";
    copyText(path, adopted); // the path may be keyPath itself
    dialog.keyPending = 0;

    HANDLE file = adopted[0] ? openForReading(adopted) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        job.keyBytes = 0;
        dialog.keyReady = 0;
        job.keyPath[0] = '\0';
    } else {
        // A key of 4 GiB or more still covers every input the program accepts.
        job.keyBytes = fileSize32(file);
        if (dialog.cipherMode == ModeXor && window && job.keyBytes < job.inputSize) {
            showAdvice(window, kKeySizeAdvice);
        }
        dialog.keyReady = 1;
        if (dialog.cipherMode == ModeClassic) {
            setCheck(window, IDX_SAVE_KEY_NAME, true);
        }
        copyText(adopted, job.keyPath);
        CloseHandle(file);
    }
    setField(window, IDE_KEY_FILE, job.keyPath);
    setFieldNumber(window, IDE_BYTE_COUNT, job.keyBytes);
}

void holdKeyFile(const char* path, HWND window) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    if (path != job.keyPath) {
        copyText(path, job.keyPath);
    }
    job.keyBytes = 0;
    dialog.keyReady = 0;
    dialog.keyPending = job.keyPath[0] != '\0';
    setField(window, IDE_KEY_FILE, job.keyPath);
    setFieldNumber(window, IDE_BYTE_COUNT, 0);
}
