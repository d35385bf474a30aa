// The KeyStore: pad data kept in "keyblock.txt" under the application-data folder, fed from a
// pad file ("PAD.txt") and drawn from the front, so that no pad byte is handed out twice.
#include <windows.h>

#include <atomic>
#include <initializer_list>

#include "app/files_win.h"
#include "app/message_win.h"
#include "app/startup_win.h"
#include "engine/job.h"
#include "keys/keytools_win.h"
#include "ui/main_dialog_win.h"

namespace {

std::atomic<uint32_t> gStatus{uint32_t(KeyStoreStatus::NoPad)};
// Pad data moves through one bounded buffer, whatever the size of the store.
constexpr uint32_t kMovePortion = 1 << 20;

void setStatus(KeyStoreStatus status) {
    gStatus.store(uint32_t(status));
}

bool pathUnderAppData(const char* tail, char* path) {
    char base[MAX_PATH];
    return applicationDataFolder(base) && keyStorePath(base, tail, path, kTextCapacity);
}

HANDLE openStore(DWORD disposition) {
    char path[kTextCapacity];
    char base[MAX_PATH];
    if (!applicationDataFolder(base) || !keyStoreFilePath(base, path, sizeof path)) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The pad file in its first place, else in its second; one held open elsewhere counts as absent.
HANDLE openPad(DWORD access) {
    for (const char* tail : {kPadFileFirstPlace, kPadFileSecondPlace}) {
        char path[kTextCapacity];
        if (!pathUnderAppData(tail, path)) {
            continue;
        }
        HANDLE h = CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            return h;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Copies `count` bytes from `from` at its position to `to` at its position.
bool copyPortions(HANDLE from, HANDLE to, uint64_t count, uint8_t* buffer) {
    while (count > 0) {
        uint32_t n = count < kMovePortion ? uint32_t(count) : kMovePortion;
        if (readFully(from, buffer, n) != int64_t(n) || !writeFully(to, buffer, n)) {
            return false;
        }
        count -= n;
    }
    return true;
}

bool truncateAt(HANDLE file, uint64_t size) {
    return seekTo(file, size) && SetEndOfFile(file);
}

struct DrawSource {
    HANDLE store;
};

bool readFromStore(void* context, uint8_t* buffer, uint32_t count) {
    return readFully(static_cast<DrawSource*>(context)->store, buffer, count) == int64_t(count);
}

struct CommandContext {
    HWND window;
};

bool askUser(void* context, const KeyStorePrompt& prompt) {
    HWND window = static_cast<CommandContext*>(context)->window;
    return showMessage(window, MessageRequest{prompt.text, prompt.yesText, prompt.noText, 1}) == AnswerYes;
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

KeyStoreStatus keyStoreStatus() {
    return KeyStoreStatus(gStatus.load());
}

void checkKeyStore(HWND window) {
    HANDLE store = openStore(OPEN_EXISTING);
    if (store != INVALID_HANDLE_VALUE) {
        uint32_t size = fileSize32(store);
        CloseHandle(store);
        setStatus(statusForStoreSize(size));
        if (size < kKeyStoreMinimum) {
            fillKeyStore(window);
        }
        return;
    }
    HANDLE pad = openPad(GENERIC_READ);
    bool padOpened = pad != INVALID_HANDLE_VALUE;
    uint32_t padSize = padOpened ? fileSize32(pad) : 0;
    if (padOpened) {
        CloseHandle(pad);
    }
    setStatus(measuredKeyStoreStatus(false, 0, padOpened, padSize));
}

void fillKeyStore(HWND) {
    char folder[kTextCapacity];
    if (pathUnderAppData(kKeyStoreFolder, folder)) {
        CreateDirectoryA(folder, nullptr);
    }
    HANDLE store = openStore(OPEN_ALWAYS);
    if (store == INVALID_HANDLE_VALUE) {
        return;
    }
    int64_t before = fileSize(store);
    HANDLE pad = openPad(GENERIC_READ | GENERIC_WRITE);
    if (pad != INVALID_HANDLE_VALUE) {
        int64_t padSize = fileSize(pad);
        auto* buffer = static_cast<uint8_t*>(takeMemory(kMovePortion));
        if (buffer && before >= 0 && padFileUsable(sizeAs32(padSize)) && seekTo(store, uint64_t(before))) {
            // All of the pad goes into the store, or none of it: a half-moved pad would leave bytes
            // in both places, to be handed out twice.
            if (copyPortions(pad, store, uint64_t(padSize), buffer) && FlushFileBuffers(store)) {
                truncateAt(pad, 0);
            } else {
                truncateAt(store, uint64_t(before));
            }
        }
        releaseMemory(buffer);
        CloseHandle(pad);
    }
    setStatus(statusForStoreSize(fileSize32(store)));
    CloseHandle(store);
}

void drawKeyFile(HWND window) {
    HANDLE store = openStore(OPEN_EXISTING);
    if (store != INVALID_HANDLE_VALUE) {
        uint32_t size = fileSize32(store);
        setStatus(statusForStoreSize(size));
        uint32_t length = keyStoreDrawLength(gState.job.inputSize, size);
        auto* buffer = static_cast<uint8_t*>(takeMemory(kMovePortion));
        if (buffer) {
            DrawSource source{store};
            seekTo(store, 0);
            writeKeyFile(window, length, readFromStore, &source);
            // The drawn bytes leave the store whether or not the key file could be written.
            uint64_t rest = uint64_t(size) - length;
            for (uint64_t moved = 0; moved < rest;) {
                uint32_t n = rest - moved < kMovePortion ? uint32_t(rest - moved) : kMovePortion;
                if (!seekTo(store, length + moved) || readFully(store, buffer, n) != int64_t(n) ||
                    !seekTo(store, moved) || !writeFully(store, buffer, n)) {
                    break;
                }
                moved += n;
            }
            truncateAt(store, rest);
            setStatus(statusForStoreSize(fileSize32(store)));
            releaseMemory(buffer);
        }
        CloseHandle(store);
    }
    refreshControls(window);
}

void keyStoreCommand(HWND window) {
    KeyStoreStatus status = keyStoreStatus();
    CommandContext context{window};
    KeyStoreActions actions{&context, askUser, fillFor, drawFor, readMeFor};
    runKeyStoreCommand(status, gState.job.inputSize, actions);
}
