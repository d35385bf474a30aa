#include "keys/keygen_win.h"

#include <wincrypt.h>

#include "keys/keyfiles_win.h"
#include "win/files_win.h"
#include "win/wide_win.h"

namespace {

struct DraftSink {
    const KeyFileOps* io;
    HANDLE file;
};

bool writeToDraft(void* context, const uint8_t* buffer, uint32_t count) {
    auto* sink = static_cast<DraftSink*>(context);
    return sink->io->write(sink->file, buffer, count);
}

} // namespace

bool prepareKeyFile(const char* folder, KeyFileDraft& key) {
    winCreateFolder(folder);
    key.path[0] = key.draft[0] = '\0';
    if (folder[0] == '\0' || !joinOutputPath(folder, kKeyFileName, key.path, sizeof key.path)) {
        key.path[0] = '\0';
        return false;
    }
    static uint32_t counter = 0;
    uint32_t pick = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ (++counter * 2654435761u);
    if (!keyDraftPath(folder, kKeyFileName, pick, key.draft, sizeof key.draft)) {
        key.path[0] = key.draft[0] = '\0';
        return false;
    }
    return true;
}

bool keyFileExists(const KeyFileDraft& key) {
    DWORD attributes = winFileAttributes(key.path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DraftResult writeKeyDraft(const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context) {
    const KeyFileOps& io = keyFileOps();
    auto* buffer = static_cast<uint8_t*>(takeMemory(kKeyPortion));
    Handle file(buffer ? io.open(key.draft, GENERIC_WRITE, CREATE_NEW) : INVALID_HANDLE_VALUE);
    DraftResult result = DraftWriteFailed;
    if (file.valid()) {
        DraftSink sink{&io, file};
        result = fillKeyDraft(length, buffer, fill, context, writeToDraft, &sink);
    }
    // Whole on disk before anything else counts on it.
    if (result == DraftWritten && !io.flush(file)) {
        result = DraftWriteFailed;
    }
    if (file.valid()) {
        file.close(); // before the draft can be removed
        if (result != DraftWritten) {
            DWORD why = GetLastError(); // the caller says why the key could not be written
            io.remove(key.draft);
            SetLastError(why);
        }
    }
    releaseMemory(buffer);
    return result;
}

DraftResult writeKeyFile(const KeyFileDraft& key, uint32_t length, KeyBytesSource fill, void* context) {
    DraftResult result = key.path[0] ? writeKeyDraft(key, length, fill, context) : DraftWriteFailed;
    if (result != DraftWritten) {
        return result;
    }
    // The new key replaces an older "KeyFile.txt" only once it is complete.
    const KeyFileOps& io = keyFileOps();
    if (io.rename(key.draft, key.path)) {
        return DraftWritten;
    }
    DWORD why = GetLastError();
    io.remove(key.draft);
    SetLastError(why);
    return DraftWriteFailed;
}

bool acquireRandomSource(HCRYPTPROV& source) {
    // The key container is made on first use (a new user, a fresh Windows).
    return CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, 0) ||
           CryptAcquireContextA(&source, "ZEVK", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET);
}

bool randomKeyBytes(void* source, uint8_t* buffer, uint32_t count) {
    return CryptGenRandom(*static_cast<HCRYPTPROV*>(source), count, buffer) != 0;
}

bool systemRandomBytes(uint8_t* buffer, size_t count) {
    HCRYPTPROV source = 0;
    if (!acquireRandomSource(source)) {
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < count;) {
        auto part = uint32_t(count - done < (1u << 30) ? count - done : (1u << 30));
        ok = randomKeyBytes(&source, buffer + done, part);
        done += part;
    }
    CryptReleaseContext(source, 0);
    return ok;
}
