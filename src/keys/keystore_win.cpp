// The KeyStore: pad data kept in "keyblock.txt" under the application-data folder, fed from a
// pad file ("PAD.txt") and drawn from the front.
//
// Its one promise: a pad byte is in at most one of the pad file, the store and a key file that
// was handed out, whichever file operation fails and wherever the process ends. Losing pad bytes
// on a fault is acceptable (and said); handing them out twice never is. So:
// - A fill first records, in "keyblock.jnl" beside the store, the store's size before it and
//   which pad file goes in. It then appends the pad, flushes the store and marks the record
//   "appended" (one 4-byte write), empties the pad and removes the record. Until the mark, the
//   bytes past the recorded size are not the store's: undoing cuts them off. From the mark on,
//   the pad's bytes are no longer the pad file's: finishing empties it.
// - A draw records the temporary name its key is written under, writes the key there and the
//   rest of the store into "keyblock.new", and renames that over the store. From this rename on
//   the drawn bytes are only in the temporary key file, which is no key yet. Only then is it
//   renamed to "KeyFile.txt", and only then adopted, which may show a box. A failure before the
//   store's rename leaves the store whole and no key; one after it loses the drawn bytes.
// - Start-up, and every fill and draw before it begins, finishes or undoes whatever a record
//   left behind says (recoverKeyStore). While that fails, nothing is filled or drawn.
#include "keys/keystore_win.h"

#include <windows.h>

#include "engine/files_win.h"
#include "keys/keyfiles_win.h"

namespace {

// Pad data moves through one bounded buffer, whatever the size of the store.
constexpr uint32_t kMovePortion = 1 << 20;
const char* const kPadPlaces[] = {kPadFileFirstPlace, kPadFileSecondPlace};

bool pathUnderAppData(const char* tail, char* path) {
    char base[kTextCapacity];
    return applicationDataFolder(base) && keyStorePath(base, tail, path, kTextCapacity);
}

// The store's folder, and the store, its draft and its journal in it.
struct StorePaths {
    char folder[kTextCapacity];
    char store[kTextCapacity];
    char draft[kTextCapacity];
    char journal[kTextCapacity];
};

bool storePaths(StorePaths& paths) {
    return pathUnderAppData(kKeyStoreFolder, paths.folder) &&
           joinText(paths.folder, kKeyStoreFileName, paths.store) &&
           joinText(paths.folder, kKeyStoreDraftName, paths.draft) &&
           joinText(paths.folder, kKeyStoreJournalName, paths.journal);
}

// The pad file in its first place, else in its second; one held open elsewhere counts as absent.
HANDLE openPad(DWORD access, uint32_t& place, char* path) {
    for (place = 0; place < 2; ++place) {
        if (!pathUnderAppData(kPadPlaces[place], path)) {
            continue;
        }
        HANDLE h = keyFileOps().open(path, access, OPEN_EXISTING);
        if (h != INVALID_HANDLE_VALUE) {
            return h;
        }
    }
    return INVALID_HANDLE_VALUE;
}

enum CopyResult { Copied, ReadFailed, WriteFailed };

// Copies `count` bytes from `from` at its position to `to` at its position.
CopyResult copyPortions(HANDLE from, HANDLE to, uint64_t count, uint8_t* buffer) {
    const KeyFileOps& io = keyFileOps();
    while (count > 0) {
        uint32_t n = count < kMovePortion ? uint32_t(count) : kMovePortion;
        if (io.read(from, buffer, n) != int64_t(n)) {
            return ReadFailed;
        }
        if (!io.write(to, buffer, n)) {
            return WriteFailed;
        }
        count -= n;
    }
    return Copied;
}

bool cutAt(HANDLE file, uint64_t size) {
    const KeyFileOps& io = keyFileOps();
    return io.seek(file, size) && io.cut(file) && io.flush(file);
}

// A record that is not whole on disk does no harm: nothing is changed before it is.
bool writeJournal(const StorePaths& paths, const KeyStoreJournal& journal) {
    const KeyFileOps& io = keyFileOps();
    uint8_t bytes[kJournalBytes];
    if (!encodeKeyStoreJournal(journal, bytes)) {
        return false;
    }
    HANDLE file = io.open(paths.journal, GENERIC_WRITE, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool written = io.write(file, bytes, sizeof bytes) && io.flush(file);
    CloseHandle(file);
    if (!written) {
        io.remove(paths.journal);
    }
    return written;
}

bool markJournal(const StorePaths& paths, KeyStoreChange change) {
    const KeyFileOps& io = keyFileOps();
    HANDLE file = io.open(paths.journal, GENERIC_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    uint8_t word[4] = {uint8_t(change), 0, 0, 0};
    bool marked = io.seek(file, kJournalChangeOffset) && io.write(file, word, sizeof word) && io.flush(file);
    CloseHandle(file);
    return marked;
}

// Cuts the store back to the size it had before a fill that did not get as far as its mark.
bool undoAppend(const StorePaths& paths, uint64_t size) {
    HANDLE store = keyFileOps().open(paths.store, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    if (missingFile(store)) {
        return true;
    }
    if (store == INVALID_HANDLE_VALUE) {
        return false;
    }
    int64_t now = keyFileOps().size(store);
    bool undone = now >= 0 && (uint64_t(now) <= size || cutAt(store, size));
    CloseHandle(store);
    return undone;
}

// Empties the pad file of a fill that got past its mark, unless it has been replaced since.
bool finishAppend(const KeyStoreJournal& journal) {
    char path[kTextCapacity];
    if (!pathUnderAppData(kPadPlaces[journal.padPlace], path)) {
        return false;
    }
    HANDLE pad = keyFileOps().open(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    if (missingFile(pad)) {
        return true;
    }
    if (pad == INVALID_HANDLE_VALUE) {
        return false;
    }
    int64_t now = keyFileOps().size(pad);
    bool finished = now >= 0 && (uint64_t(now) != journal.padSize || cutAt(pad, 0));
    CloseHandle(pad);
    return finished;
}

// Finishes or undoes whatever the journal records; true when no journal is left.
bool recoverKeyStore() {
    const KeyFileOps& io = keyFileOps();
    StorePaths paths;
    if (!storePaths(paths)) {
        return true; // no application-data folder: no store either
    }
    HANDLE file = io.open(paths.journal, GENERIC_READ, OPEN_EXISTING);
    if (missingFile(file)) {
        return true;
    }
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    uint8_t bytes[kJournalBytes + 1];
    int64_t got = io.read(file, bytes, sizeof bytes);
    CloseHandle(file);
    if (got < 0) {
        return false;
    }
    KeyStoreJournal journal;
    bool settled = true;
    if (decodeKeyStoreJournal(bytes, size_t(got), journal)) {
        switch (journal.change) {
        case KeyStoreChange::FillAppending:
            settled = undoAppend(paths, journal.storeSize);
            break;
        case KeyStoreChange::FillAppended:
            settled = finishAppend(journal);
            break;
        case KeyStoreChange::Draw:
            // The store was replaced whole or not at all; the draft never became a key.
            settled = io.remove(journal.draft) && io.remove(paths.draft);
            break;
        }
    }
    return settled && io.remove(paths.journal);
}

void say(KeyStoreReport& report, const char* lead, const char* path, const char* tail) {
    report.notice.lead = lead;
    copyText(path, report.notice.path);
    report.notice.tail = tail;
}

void setStatus(KeyStoreReport& report, KeyStoreStatus status) {
    report.statusChanged = true;
    report.status = status;
}

// ---- Fill ----

enum FillOutcome { FillDone, FillNothing, FillPending, FillCannotMake, FillUndone, FillTooBig };

struct FillRun {
    StorePaths paths;
    char pad[kTextCapacity];
    uint64_t storeSize;
};

FillOutcome moveThePad(FillRun& run) {
    const KeyFileOps& io = keyFileOps();
    if (!recoverKeyStore()) {
        return FillPending;
    }
    if (!io.makeFolder(run.paths.folder)) {
        return FillCannotMake;
    }
    HANDLE store = io.open(run.paths.store, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (store == INVALID_HANDLE_VALUE) {
        return FillCannotMake;
    }
    int64_t before = io.size(store);
    run.storeSize = before >= 0 ? uint64_t(before) : 0;
    uint32_t place = 0;
    HANDLE pad = before >= 0 ? openPad(GENERIC_READ | GENERIC_WRITE, place, run.pad) : INVALID_HANDLE_VALUE;
    if (before < 0 || pad == INVALID_HANDLE_VALUE) {
        CloseHandle(store);
        return before < 0 ? FillCannotMake : FillNothing;
    }
    int64_t padSize = io.size(pad);
    FillOutcome outcome = FillUndone;
    bool recorded = false;
    uint8_t* buffer = nullptr;
    if (padSize >= 0 && !padFileUsable(sizeAs32(padSize))) {
        outcome = FillNothing;
    } else if (padSize >= 0 && uint64_t(before) + uint64_t(padSize) > kKeyStoreLargest) {
        outcome = FillTooBig;
    } else if (padSize >= 0 && (buffer = static_cast<uint8_t*>(takeMemory(kMovePortion))) != nullptr) {
        KeyStoreJournal journal{KeyStoreChange::FillAppending, place, uint64_t(before), uint64_t(padSize),
                                ""};
        recorded = writeJournal(run.paths, journal);
        // All of the pad goes into the store, or none of it.
        if (recorded && io.seek(store, uint64_t(before)) &&
            copyPortions(pad, store, uint64_t(padSize), buffer) == Copied && io.flush(store) &&
            markJournal(run.paths, KeyStoreChange::FillAppended)) {
            run.storeSize += uint64_t(padSize);
            outcome = cutAt(pad, 0) && io.remove(run.paths.journal) ? FillDone : FillUndone;
        }
    }
    releaseMemory(buffer);
    CloseHandle(pad);
    CloseHandle(store);
    if (recorded && outcome != FillDone) {
        // Undone before the mark, finished after it: either way the journal says which.
        bool appended = run.storeSize != uint64_t(before);
        if (!recoverKeyStore()) {
            run.storeSize = uint64_t(before);
            return FillPending;
        }
        outcome = appended ? FillDone : FillUndone;
    }
    return outcome;
}

// ---- Draw ----

enum DrawOutcome { DrawDone, DrawPending, DrawStoreFailed, DrawKeyFailed, DrawKeyLost };

struct StoreSource {
    HANDLE store;
};

bool readFromStore(void* context, uint8_t* buffer, uint32_t count) {
    return keyFileOps().read(static_cast<StoreSource*>(context)->store, buffer, count) == int64_t(count);
}

// The rest of the store, past the key, into the store's draft, flushed.
bool writeStoreDraft(const StorePaths& paths, HANDLE store, uint64_t count) {
    const KeyFileOps& io = keyFileOps();
    auto* buffer = static_cast<uint8_t*>(takeMemory(kMovePortion));
    HANDLE draft = buffer ? io.open(paths.draft, GENERIC_WRITE, CREATE_ALWAYS) : INVALID_HANDLE_VALUE;
    bool written = draft != INVALID_HANDLE_VALUE && copyPortions(store, draft, count, buffer) == Copied &&
                   io.flush(draft);
    if (draft != INVALID_HANDLE_VALUE) {
        CloseHandle(draft);
    }
    releaseMemory(buffer);
    return written;
}

DrawOutcome drawInto(const StorePaths& paths, const KeyFileDraft& key, uint32_t inputSize,
                     uint64_t& storeSize) {
    const KeyFileOps& io = keyFileOps();
    if (!recoverKeyStore()) {
        return DrawPending;
    }
    HANDLE store = io.open(paths.store, GENERIC_READ, OPEN_EXISTING);
    if (store == INVALID_HANDLE_VALUE) {
        return DrawStoreFailed;
    }
    int64_t size = io.size(store);
    KeyStoreJournal journal{KeyStoreChange::Draw, 0, 0, 0, ""};
    if (size < 0 || !copyText(key.draft, journal.draft) || !writeJournal(paths, journal)) {
        CloseHandle(store);
        return DrawStoreFailed;
    }
    storeSize = uint64_t(size);
    uint32_t length = keyStoreDrawLength(inputSize, sizeAs32(size));
    StoreSource source{store};
    DrawOutcome outcome = DrawStoreFailed;
    DraftResult keyWritten =
        io.seek(store, 0) ? writeKeyDraft(key, length, readFromStore, &source) : DraftFillFailed;
    if (keyWritten == DraftWriteFailed) {
        outcome = DrawKeyFailed;
    } else if (keyWritten == DraftWritten && writeStoreDraft(paths, store, uint64_t(size) - length)) {
        outcome = DrawDone;
    }
    CloseHandle(store);
    // The drawn bytes leave the store here, all at once.
    if (outcome == DrawDone && !io.rename(paths.draft, paths.store)) {
        outcome = DrawStoreFailed;
    }
    if (outcome == DrawDone) {
        storeSize -= length;
        if (!io.rename(key.draft, key.path)) {
            outcome = DrawKeyLost;
        }
    }
    // A journal that cannot go yet is settled at the next start, fill or draw.
    if (outcome == DrawDone) {
        io.remove(paths.journal);
    } else if (io.remove(key.draft) && io.remove(paths.draft)) {
        io.remove(paths.journal);
    }
    return outcome;
}

} // namespace

KeyStoreReport fillKeyStoreFiles() {
    KeyStoreReport report{};
    FillRun run{};
    if (!storePaths(run.paths)) {
        return report;
    }
    FillOutcome outcome = moveThePad(run);
    switch (outcome) {
    case FillDone:
    case FillNothing:
        break;
    case FillPending:
        say(report, kKeyStoreFileLead, run.paths.journal, kPendingTail);
        break;
    case FillCannotMake:
        say(report, kKeyStoreFileLead, run.paths.store, kCannotMakeTail);
        return report; // no store: the status stays as it was
    case FillUndone:
        say(report, kPadFileLead, run.pad, kFillUndoneTail);
        break;
    case FillTooBig:
        say(report, kPadFileLead, run.pad, kFillTooBigTail);
        break;
    }
    if (outcome != FillPending) {
        setStatus(report, statusForStoreSize(sizeAs32(int64_t(run.storeSize))));
    }
    return report;
}

KeyStoreReport checkKeyStoreFiles() {
    // What an interrupted fill or draw left is settled before anything is measured; one that
    // cannot be settled yet is said at the next fill or draw.
    recoverKeyStore();
    KeyStoreReport report{};
    const KeyFileOps& io = keyFileOps();
    StorePaths paths;
    HANDLE store =
        storePaths(paths) ? io.open(paths.store, GENERIC_READ, OPEN_EXISTING) : INVALID_HANDLE_VALUE;
    if (store != INVALID_HANDLE_VALUE) {
        uint32_t size = sizeAs32(io.size(store));
        CloseHandle(store);
        if (size >= kKeyStoreMinimum) {
            setStatus(report, statusForStoreSize(size));
            return report;
        }
        KeyStoreReport filled = fillKeyStoreFiles();
        if (!filled.statusChanged) {
            setStatus(filled, statusForStoreSize(size));
        }
        return filled;
    }
    uint32_t place = 0;
    char path[kTextCapacity];
    HANDLE pad = openPad(GENERIC_READ, place, path);
    bool padOpened = pad != INVALID_HANDLE_VALUE;
    uint32_t padSize = padOpened ? sizeAs32(io.size(pad)) : 0;
    if (padOpened) {
        CloseHandle(pad);
    }
    setStatus(report, measuredKeyStoreStatus(false, 0, padOpened, padSize));
    return report;
}

KeyStoreReport drawKeyStoreFile(const KeyFileDraft* key, const char* folder, uint32_t inputSize) {
    KeyStoreReport report{};
    StorePaths paths;
    uint64_t storeSize = 0;
    // The recovery of a draw removes only drafts named "nbk*.tmp", so a folder too deep for that
    // name takes no key at all.
    const bool named = key && isKeyDraftPath(key->draft);
    DrawOutcome outcome = !storePaths(paths) ? DrawStoreFailed
                          : named            ? drawInto(paths, *key, inputSize, storeSize)
                                             : DrawKeyFailed;
    if (outcome == DrawDone || outcome == DrawKeyLost || storeSize > 0) {
        setStatus(report, statusForStoreSize(sizeAs32(int64_t(storeSize))));
    }
    if (outcome == DrawDone) {
        copyText(key->path, report.keyFile);
    }
    switch (outcome) {
    case DrawDone:
        break;
    case DrawPending:
        say(report, kKeyStoreFileLead, paths.journal, kPendingTail);
        break;
    case DrawStoreFailed:
        say(report, kKeyStoreFileLead, paths.store, kDrawUndoneTail);
        break;
    case DrawKeyFailed:
        say(report, kKeyFileLead, named ? key->path : folder, kDrawUndoneTail);
        break;
    case DrawKeyLost:
        say(report, kKeyFileLead, key->path, kDrawLostTail);
        break;
    }
    return report;
}
