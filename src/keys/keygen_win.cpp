// The key file generator and the writer of "KeyFile.txt", shared with the KeyStore.
#include <windows.h>

#include <wincrypt.h>

#include "app/files_win.h"
#include "app/message_win.h"
#include "engine/job.h"
#include "engine/paths.h"
#include "keys/adopt_win.h"
#include "keys/keylength.h"
#include "keys/keytools_win.h"
#include "resource.h"
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

bool writeKeyFile(HWND window, uint32_t length, KeyBytesSource fill, void* context) {
    JobSettings& job = gState.job;
    GetDlgItemTextA(window, IDE_OUTPUT, job.outputFolder, kTextCapacity);
    CreateDirectoryA(job.outputFolder, nullptr);
    char path[kTextCapacity];
    // No folder, or one whose path cannot hold the key file's: as if it could not be made.
    if (job.outputFolder[0] == '\0' || !joinOutputPath(job.outputFolder, "KeyFile.txt", path, sizeof path)) {
        adoptKeyFile("", window);
        return true;
    }
    auto* buffer = static_cast<uint8_t*>(takeMemory(kKeyPortion));
    char partial[kPartialPathCapacity] = "";
    HANDLE file = INVALID_HANDLE_VALUE;
    if (buffer) {
        file = createPartialFile(job.outputFolder, "nbk", "KeyFile.txt", GENERIC_WRITE, 0, partial);
    }
    bool written = file != INVALID_HANDLE_VALUE;
    bool filled = true;
    for (uint32_t done = 0; written && done < length;) {
        uint32_t count = length - done < kKeyPortion ? length - done : kKeyPortion;
        if (!fill(context, buffer, count)) {
            filled = false;
            break;
        }
        written = writeFully(file, buffer, count);
        done += count;
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    // The new key replaces an older "KeyFile.txt" only once it is complete.
    written = written && filled && MoveFileExA(partial, path, MOVEFILE_REPLACE_EXISTING);
    if (!written && partial[0] != '\0') {
        DeleteFileA(partial);
    }
    releaseMemory(buffer);
    if (!filled) {
        return false;
    }
    adoptKeyFile(written ? path : "", window);
    return true;
}

void createKeyFile(HWND window) {
    HCRYPTPROV source = 0;
    if (!CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, 0) &&
        !CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        showError(window, kNoRandomSource, false);
        return;
    }
    uint32_t length = keyLengthFor(gState.job.inputSize);
    bool made = writeKeyFile(window, length, randomBytes, &source);
    CryptReleaseContext(source, 0);
    if (!made) {
        // Never a key of zeros: a random source that fails to fill writes nothing.
        showError(window, kNoRandomSource, false);
    }
    refreshControls(window);
}
