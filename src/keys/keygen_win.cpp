// The key file generator and the writer of "KeyFile.txt", shared with the KeyStore.
#include <windows.h>

#include <wincrypt.h>

#include "app/files_win.h"
#include "app/message_win.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "engine/paths.h"
#include "keys/adopt_win.h"
#include "keys/keyfiles_win.h"
#include "keys/keylength.h"
#include "keys/keystore.h"
#include "keys/keytools_win.h"
#include "resource.h"
#include "text/wide_win.h"
#include "ui/main_dialog_win.h"

namespace {

constexpr char kNoRandomSource[] =
    "Cannot create Keyfile. This is generally caused by a failure in initialising the Crypto routine.";
// Keys are made and written a portion at a time, so a key for a 2 GiB input needs no more memory
// than a small one.
constexpr uint32_t kKeyPortion = 1 << 20;

bool randomBytes(void* context, uint8_t* buffer, uint32_t count) {
    return CryptGenRandom(*static_cast<HCRYPTPROV*>(context), count, buffer) != 0;
}

} // namespace

bool prepareKeyFile(HWND window, KeyFileDraft& key) {
    JobSettings& job = gState.job;
    winItemText(window, IDE_OUTPUT, job.outputFolder, kTextCapacity);
    winCreateFolder(job.outputFolder);
    key.path[0] = key.draft[0] = '\0';
    if (job.outputFolder[0] == '\0' ||
        !joinOutputPath(job.outputFolder, "KeyFile.txt", key.path, sizeof key.path)) {
        key.path[0] = '\0';
        return false;
    }
    // A name only, made here and not on disk: the file is created new when the key is written, so
    // the name can be recorded before anything is. The KeyStore's recovery removes only drafts
    // named "nbk*.tmp", so a folder too deep for that name takes no key at all.
    static uint32_t counter = 0;
    uint32_t pick = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ (++counter * 2654435761u);
    return partialFilePath(job.outputFolder, "nbk", "KeyFile.txt", pick, key.draft, sizeof key.draft) &&
           isKeyDraftPath(key.draft);
}

bool mayReplaceKeyFile(HWND window, const KeyFileDraft& key) {
    DWORD attributes = winFileAttributes(key.path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return true;
    }
    char text[kMessageCapacity];
    composeAroundPath(kKeyFileExistsLead, gState.job.outputFolder, kKeyFileExistsTail, text, sizeof text);
    return showMessage(window, MessageRequest{text, kKeyFileReplaceYes, kKeyFileReplaceNo, 1}) == AnswerYes;
}

DraftResult writeKeyDraft(const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context) {
    const KeyFileOps& io = keyFileOps();
    auto* buffer = static_cast<uint8_t*>(takeMemory(kKeyPortion));
    HANDLE file = buffer ? io.open(key.draft, GENERIC_WRITE, CREATE_NEW) : INVALID_HANDLE_VALUE;
    DraftResult result = file != INVALID_HANDLE_VALUE ? DraftWritten : DraftWriteFailed;
    for (uint32_t done = 0; result == DraftWritten && done < length;) {
        uint32_t count = length - done < kKeyPortion ? length - done : kKeyPortion;
        if (!fill(context, buffer, count)) {
            result = DraftFillFailed;
        } else if (!io.write(file, buffer, count)) {
            result = DraftWriteFailed;
        }
        done += count;
    }
    // Whole on disk before anything else counts on it.
    if (result == DraftWritten && !io.flush(file)) {
        result = DraftWriteFailed;
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        if (result != DraftWritten) {
            io.remove(key.draft);
        }
    }
    releaseMemory(buffer);
    return result;
}

bool writeKeyFile(HWND window, const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context) {
    DraftResult result = key.path[0] ? writeKeyDraft(key, length, fill, context) : DraftWriteFailed;
    if (result == DraftFillFailed) {
        return false;
    }
    // The new key replaces an older "KeyFile.txt" only once it is complete.
    const KeyFileOps& io = keyFileOps();
    bool placed = result == DraftWritten && io.rename(key.draft, key.path);
    if (result == DraftWritten && !placed) {
        io.remove(key.draft);
    }
    adoptKeyFile(placed ? key.path : "", window);
    return true;
}

bool acquireRandomSource(HCRYPTPROV& source) {
    // The key container is made on first use (a new user, a fresh Windows).
    return CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, 0) ||
           CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET);
}

void createKeyFile(HWND window) {
    KeyFileDraft key;
    // No folder, or one whose path cannot hold the key file's: as if it could not be made.
    if (prepareKeyFile(window, key) && !mayReplaceKeyFile(window, key)) {
        refreshControls(window);
        return;
    }
    HCRYPTPROV source = 0;
    if (!acquireRandomSource(source)) {
        showError(window, kNoRandomSource, false);
        return;
    }
    uint32_t length = keyLengthFor(gState.job.inputSize);
    bool made = writeKeyFile(window, key, length, randomBytes, &source);
    CryptReleaseContext(source, 0);
    if (!made) {
        // Never a key of zeros: a random source that fails to fill writes nothing.
        showError(window, kNoRandomSource, false);
    }
    refreshControls(window);
}
