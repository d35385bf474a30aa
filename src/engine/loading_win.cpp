#include "engine/loading_win.h"

#include "app/files_win.h"
#include "app/message_win.h"
#include "engine/container.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "engine/paths.h"
#include "keys/adopt_win.h"
#include "resource.h"
#include "ui/controls_win.h"
#include "ui/main_dialog_win.h"

namespace {

void reportReadError(HWND window, const char* path) {
    char message[kMessageCapacity];
    composeReadError(path, message, sizeof message);
    showError(window, message, true);
}

// A ".qdx" input: its header decides the name, times and key path of the decryption.
void loadContainer(HWND window, const char* path, HANDLE file, bool keyGiven) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    takeOutputFolderFrom(window, path);

    uint8_t bytes[kMaxHeaderLength];
    int64_t got = readFully(file, bytes, sizeof bytes);
    ContainerHeader header;
    // A file that ends inside its header is no container this version can read either.
    if (got < 0 || decodeHeader(bytes, size_t(got), header) != HeaderStatus::Ok) {
        CloseHandle(file);
        showError(window, kVersionError, false);
        return;
    }
    CloseHandle(file);

    jobFromHeader(header, job);
    dialog.useDescription = header.hasDescription;
    setField(window, IDE_DESCRIPTION, header.hasDescription ? header.description : "");
    setField(window, IDE_KEY_FILE, header.hasKeyPath ? header.keyPath : "");
    // The key the user gave is the key used: the key file the container names is taken only
    // when none was given, and in the window not for a key string. Only one on a local drive is
    // opened now; a share or device path is shown and opened when the job starts, so that
    // opening a file reaches out to no host it names. A container that names none leaves the
    // emptied key file field to the common end, so that an earlier key file is not taken for
    // this container's.
    if (header.hasKeyPath && !keyGiven && dialog.keySource != SourceString) {
        if (isLocalDrivePath(header.keyPath)) {
            adoptKeyFile(header.keyPath, window);
        } else {
            holdKeyFile(header.keyPath, window);
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
}

void loadPlain(HWND window, const char* path, HANDLE file) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    int64_t size = fileSize(file);
    CloseHandle(file);
    job.inputSize = uint32_t(size < 0 ? 0 : uint64_t(size));
    if (size <= 0 || size > 0xFFFFFFFFll) {
        return; // empty, or too big for a job: ignored without a message
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
}

} // namespace

void takeOutputFolderFrom(HWND window, const char* path) {
    JobSettings& job = gState.job;
    copyText(path, job.outputFolder);
    directoryOf(job.outputFolder);
    setField(window, IDE_OUTPUT, job.outputFolder);
}

void loadInputFile(HWND window, const char* path, bool keyGiven) {
    JobSettings& job = gState.job;
    DialogState& dialog = gState.dialog;
    dialog.inputLoaded = 0;

    bool container = isContainerName(path);
    if (container) {
        copyText(path, job.inputPath);
    }
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        reportReadError(window, path);
    } else if (container) {
        loadContainer(window, path, file, keyGiven);
    } else {
        loadPlain(window, path, file);
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
}
