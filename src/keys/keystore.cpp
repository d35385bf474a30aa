#include "keys/keystore.h"

#include <cstring>

#include "engine/paths.h"
#include "keys/keylength.h"
#include "text/text.h"

namespace {

constexpr char kJournalMagic[8] = {'N', 'B', 'K', 'J', 'R', 'N', 'L', '1'};

void putWord(uint8_t* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = uint8_t(value >> (8 * i));
    }
}

uint64_t getWord(const uint8_t* at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= uint64_t(at[i]) << (8 * i);
    }
    return value;
}

} // namespace

// A draw's temporary key file is "nbk" + letters or digits + ".tmp": a journal naming anything else is
// not one this program wrote, and its file is left alone.
bool isKeyDraftPath(const char* path) {
    const char* name = path;
    for (const char* at = path; *at; ++at) {
        if (*at == '\\' || *at == '/') {
            name = at + 1;
        }
    }
    char lower[kTextCapacity];
    if (name == path || !copyText(name, lower)) {
        return false;
    }
    toLowerAscii(lower);
    size_t n = textLength(lower);
    return n > 7 && std::strncmp(lower, "nbk", 3) == 0 && std::strcmp(lower + n - 4, ".tmp") == 0;
}

char keyDraftDrive(const char* path) {
    return isLocalDrivePath(path) && isKeyDraftPath(path) ? path[0] : '\0';
}

KeyStoreStatus statusForStoreSize(uint32_t storeSize) {
    return storeSize < kKeyStoreMinimum ? KeyStoreStatus{KeyStoreState::Empty, 0}
                                        : KeyStoreStatus{KeyStoreState::Ready, storeSize};
}

KeyStoreStatus measuredKeyStoreStatus(bool storeOpened, uint32_t storeSize, bool padOpened,
                                      uint32_t padSize) {
    if (storeOpened) {
        return statusForStoreSize(storeSize);
    }
    if (!padOpened) {
        return KeyStoreStatus{KeyStoreState::NoPad, 0};
    }
    return KeyStoreStatus{padFileUsable(padSize) ? KeyStoreState::NotSetUp : KeyStoreState::PadTooSmall, 0};
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
    switch (status.state) {
    case KeyStoreState::NoPad:
        return kKeyStoreNoPadText;
    case KeyStoreState::PadTooSmall:
        return kKeyStorePadTooSmallText;
    case KeyStoreState::Empty:
        return kKeyStoreEmptyText;
    default:
        return nullptr;
    }
}

void runKeyStoreCommand(KeyStoreStatus& status, uint32_t inputSize, const KeyStoreActions& actions) {
    void* context = actions.context;
    if (status.state == KeyStoreState::NotSetUp) {
        KeyStorePrompt offer{kKeyStoreSetUpText, kKeyStoreSetUpYes, kKeyStoreSetUpNo, false};
        if (actions.ask(context, offer)) {
            status = actions.fill(context);
        }
    }
    if (const char* advice = keyStoreAdviceText(status)) {
        KeyStorePrompt prompt{advice, kKeyStoreAdviceYes, kKeyStoreAdviceNo, true};
        if (!actions.ask(context, prompt)) {
            actions.openReadMe(context);
        }
        return;
    }
    // Declined, or the store could not be created: nothing more is said.
    if (status.state == KeyStoreState::NotSetUp) {
        return;
    }

    uint32_t keyLength = keyLengthFor(inputSize);
    if (keyLength > status.size) {
        status = actions.fill(context);
    }
    // A top-up that cannot open the store leaves the status as it was; one that finds the store
    // re-created empty gives Empty, which holds no bytes at all.
    const char* text = keyLength > status.size ? kKeyStoreTooSmallText : kKeyStoreEnoughText;
    KeyStorePrompt offer{text, kKeyStoreDrawYes, kKeyStoreDrawNo, false};
    if (actions.ask(context, offer)) {
        status = actions.draw(context);
    }
}

bool encodeKeyStoreJournal(const KeyStoreJournal& journal, uint8_t* bytes) {
    std::memset(bytes, 0, kJournalBytes);
    std::memcpy(bytes, kJournalMagic, sizeof kJournalMagic);
    putWord(bytes + kJournalChangeOffset, uint32_t(journal.change), 4);
    putWord(bytes + 12, journal.padPlace, 4);
    putWord(bytes + 16, journal.storeSize, 8);
    putWord(bytes + 24, journal.length, 8);
    return copyText(journal.draft, reinterpret_cast<char*>(bytes + 32), kJournalDraftCapacity);
}

bool decodeKeyStoreJournal(const uint8_t* bytes, size_t count, KeyStoreJournal& journal) {
    if (count != kJournalBytes || std::memcmp(bytes, kJournalMagic, sizeof kJournalMagic) != 0 ||
        bytes[kJournalBytes - 1] != 0) {
        return false;
    }
    uint64_t change = getWord(bytes + kJournalChangeOffset, 4);
    uint64_t place = getWord(bytes + 12, 4);
    if (change < uint32_t(KeyStoreChange::FillAppending) || change > uint32_t(KeyStoreChange::Draw) ||
        place > 1) {
        return false;
    }
    journal.change = KeyStoreChange(change);
    journal.padPlace = uint32_t(place);
    journal.storeSize = getWord(bytes + 16, 8);
    journal.length = getWord(bytes + 24, 8);
    std::memcpy(journal.draft, bytes + 32, kJournalDraftCapacity);
    journal.draft[kJournalDraftCapacity - 1] = '\0';
    return journal.change != KeyStoreChange::Draw || isKeyDraftPath(journal.draft);
}
