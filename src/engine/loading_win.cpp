#include "engine/loading_win.h"

#include "app/files_win.h"
#include "app/message_win.h"
#include "engine/container.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "engine/paths.h"
#include "keys/adopt_win.h"
#include "resource.h"
#include "text/wide_win.h"
#include "ui/controls_win.h"
#include "ui/main_dialog_win.h"

namespace {

// A ".qdx" input: its header decides the name, times and key path of the decryption.
LoadOutcome loadContainer(HWND window, const char* path, HANDLE file, bool keyGiven) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    takeOutputFolderFrom(window, path);

    uint8_t bytes[kMaxHeaderLength];
    int64_t got = readFully(file, bytes, sizeof bytes);
    ContainerHeader header;
    // A file that ends inside its header is no container this version can read either.
    if (got < 0 || decodeHeader(bytes, size_t(got), header) != HeaderStatus::Ok) {
        CloseHandle(file);
        return LoadOutcome::NotContainer;
    }
    CloseHandle(file);

    const LegacyCodePage codePage{toCodePage, fromCodePage};
    jobFromHeader(header, job, codePage);
    char description[kTextCapacity] = "";
    char keyPath[kTextCapacity] = "";
    if (header.hasDescription) {
        textFromStored(header.description, codePage, description, sizeof description);
    }
    if (header.hasKeyPath) {
        textFromStored(header.keyPath, codePage, keyPath, sizeof keyPath);
    }
    dialog.useDescription = header.hasDescription;
    setField(window, IDE_DESCRIPTION, description);
    setField(window, IDE_KEY_FILE, keyPath);
    // The key the user gave is the key used: the key file the container names is taken only
    // when none was given, and in the window not for a key string. Only one on a local drive is
    // opened now; a share or device path is shown and opened when the job starts, so that
    // opening a file reaches out to no host it names. A container that names none leaves the
    // emptied key file field to the common end, so that an earlier key file is not taken for
    // this container's.
    if (header.hasKeyPath && !keyGiven && dialog.keySource != SourceString) {
        if (isLocalDrivePath(keyPath)) {
            adoptKeyFile(keyPath, window);
        } else {
            holdKeyFile(keyPath, window);
        }
    }

    dialog.direction = Decrypt;
    dialog.inputLoaded = 1;
    setCheck(window, IDO_XOR, false);
    setCheck(window, IDO_CLASSIC, true);
    dialog.nextDropIsKey = 1;
    dialog.cipherMode = ModeClassic;
    setField(window, IDE_INPUT, path);
    setCheck(window, IDX_USE_DESCRIPTION, dialog.useDescription != 0);
    return LoadOutcome::Loaded;
}

LoadOutcome loadPlain(HWND window, const char* path, HANDLE file) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    int64_t size = fileSize(file);
    CloseHandle(file);
    job.inputSize = uint32_t(size < 0 ? 0 : uint64_t(size));
    if (size <= 0 || size > 0xFFFFFFFFll) {
        return LoadOutcome::Unusable; // empty, or too big for a job: ignored without a message
    }
    dialog.direction = Encrypt;
    setField(window, IDE_INPUT, path);
    copyText(path, job.inputPath);
    job.headerLength = 0;
    setField(window, IDE_DESCRIPTION, "");
    setCheck(window, IDX_USE_DESCRIPTION, false);
    dialog.useDescription = 0;
    dialog.inputLoaded = 1;
    dialog.nextDropIsKey = 1;
    takeOutputFolderFrom(window, path);
    return LoadOutcome::Loaded;
}

} // namespace

void reportLoadOutcome(HWND window, LoadOutcome outcome, const char* path) {
    if (outcome == LoadOutcome::Unreadable) {
        char message[kMessageCapacity];
        composeReadError(path, message, sizeof message);
        showError(window, message, true);
    } else if (outcome == LoadOutcome::NotContainer) {
        showError(window, kVersionError, false);
    }
}

void takeOutputFolderFrom(HWND window, const char* path) {
    JobSettings& job = gState.job;
    copyText(path, job.outputFolder);
    directoryOf(job.outputFolder);
    setField(window, IDE_OUTPUT, job.outputFolder);
}

LoadOutcome loadInputFile(HWND window, const char* path, bool keyGiven, bool quiet) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    dialog.inputLoaded = 0;

    bool container = isContainerName(path);
    if (container) {
        copyText(path, job.inputPath);
    }
    HANDLE file = openForReading(path);
    LoadOutcome outcome = file == INVALID_HANDLE_VALUE ? LoadOutcome::Unreadable
                          : container                  ? loadContainer(window, path, file, keyGiven)
                                                       : loadPlain(window, path, file);
    if (!quiet) {
        reportLoadOutcome(window, outcome, path);
    }

    if (dialog.keySource == SourceFile) {
        readField(window, IDE_KEY_FILE, job.keyPath, sizeof job.keyPath);
    }
    if (dialog.keySource != SourceString) {
        if (dialog.keyPending && !isLocalDrivePath(job.keyPath)) {
            holdKeyFile(job.keyPath, window); // still not opened
        } else {
            adoptKeyFile(job.keyPath, window);
        }
    }
    if (window) {
        refreshControls(window);
    }
    return outcome;
}
