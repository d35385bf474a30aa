#include "keys/keystore.h"

#include "keys/keylength.h"
#include "text/text.h"

bool isKeyStoreReady(KeyStoreStatus status) {
    return status >= KeyStoreStatus::Ready;
}

uint32_t keyStoreSize(KeyStoreStatus status) {
    return isKeyStoreReady(status) ? uint32_t(status) : 0;
}

KeyStoreStatus statusForStoreSize(uint32_t storeSize) {
    // Small sizes would read as the states 0, 3, 5 and 10, so any store below the minimum is Empty.
    return storeSize < kKeyStoreMinimum ? KeyStoreStatus::Empty : KeyStoreStatus(storeSize);
}

KeyStoreStatus measuredKeyStoreStatus(bool storeOpened, uint32_t storeSize, bool padOpened,
                                      uint32_t padSize) {
    if (storeOpened) {
        return statusForStoreSize(storeSize);
    }
    if (!padOpened) {
        return KeyStoreStatus::NoPad;
    }
    return padFileUsable(padSize) ? KeyStoreStatus::NotSetUp : KeyStoreStatus::PadTooSmall;
}

bool padFileUsable(uint32_t padSize) {
    return padSize >= kKeyStoreMinimum;
}

uint32_t keyStoreDrawLength(uint32_t inputSize, uint32_t storeSize) {
    uint32_t n = keyLengthFor(inputSize);
    return n < storeSize ? n : storeSize;
}

bool keyStorePath(const char* appData, const char* tail, char* path, size_t capacity) {
    return joinText(appData, tail, path, capacity);
}

bool keyStoreFilePath(const char* appData, char* path, size_t capacity) {
    char folder[kTextCapacity];
    return keyStorePath(appData, kKeyStoreFolder, folder, sizeof folder) &&
           keyStorePath(folder, kKeyStoreFileName, path, capacity);
}

const char* keyStoreAdviceText(KeyStoreStatus status) {
    switch (status) {
    case KeyStoreStatus::NoPad:
        return kKeyStoreNoPadText;
    case KeyStoreStatus::PadTooSmall:
        return kKeyStorePadTooSmallText;
    case KeyStoreStatus::Empty:
        return kKeyStoreEmptyText;
    default:
        return nullptr;
    }
}

void runKeyStoreCommand(KeyStoreStatus& status, uint32_t inputSize, const KeyStoreActions& actions) {
    void* context = actions.context;
    if (status == KeyStoreStatus::NotSetUp) {
        KeyStorePrompt offer{kKeyStoreSetUpText, kKeyStoreSetUpYes, kKeyStoreSetUpNo};
        if (actions.ask(context, offer)) {
            status = actions.fill(context);
        }
    }
    if (const char* advice = keyStoreAdviceText(status)) {
        KeyStorePrompt prompt{advice, kKeyStoreAdviceYes, kKeyStoreAdviceNo};
        if (!actions.ask(context, prompt)) {
            actions.openReadMe(context);
        }
        return;
    }
    // Declined, or the store could not be created: nothing more is said.
    if (status == KeyStoreStatus::NotSetUp) {
        return;
    }

    uint32_t keyLength = keyLengthFor(inputSize);
    if (keyLength > uint32_t(status)) {
        status = actions.fill(context);
    }
    // A top-up that cannot open the store leaves the status as it was; one that finds the store
    // re-created empty gives Empty, whose value is then what the key length is weighed against.
    const char* text = keyLength > uint32_t(status) ? kKeyStoreTooSmallText : kKeyStoreEnoughText;
    KeyStorePrompt offer{text, kKeyStoreDrawYes, kKeyStoreDrawNo};
    if (actions.ask(context, offer)) {
        status = actions.draw(context);
    }
}
