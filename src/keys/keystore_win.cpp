// The KeyStore: pad data kept in "keyblock.txt" under the application-data folder, fed from a
// pad file ("PAD.txt") and drawn from the front.
//
// Its one promise: a pad byte is in at most one of the pad file, the store and a key file that
// was handed out, whichever file operation fails, wherever the process ends, whatever a crash
// takes of writes not yet flushed, and however many copies of the program run. Losing pad bytes
// on a fault is acceptable (and said); handing them out twice never is. So:
// - One copy at a time: recovery, fill and draw each run holding "keyblock.lck" open without
//   sharing. Another copy waits a few seconds for it, then says the store is busy and touches
//   nothing. The system lets go of the lock when a copy ends, however it ends.
// - A fill first records, in "keyblock.jnl" beside the store, the store's size before it and
//   which pad file goes in. It then appends the pad, flushes the store and marks the record
//   "appended" (one 4-byte write), empties the pad and removes the record. Until the mark, the
//   bytes past the recorded size are not the store's: undoing cuts them off. From the mark on,
//   the pad's bytes are no longer the pad file's: finishing takes them off the pad's front, but
//   only where the pad still starts with exactly those bytes; otherwise the store gives them up.
// - A draw records the store's size, the key's length and the temporary name its key is written
//   under, writes the key there and the rest of the store into "keyblock.new", and renames that
//   over the store. From this rename on the drawn bytes are only in the temporary key file, which
//   is no key yet. Only then is it renamed to "KeyFile.txt", and only then adopted, which may
//   show a box. Recovery tells from the store's size which side of the store's rename a draw
//   ended on: before it, the draft goes; after it, the draft becomes the key. A draft that
//   cannot be reached (a drive taken away, a network folder) is never taken for gone: the store
//   gives up the key's bytes instead.
// - Recovery believes a record only as far as the files bear it out: sizes that do not fit, or
//   bytes that do not match, and it leaves the files as they are.
// - Recovery runs at start-up and before every fill and draw. While it cannot finish, nothing is
//   filled or drawn.
#include "keys/keystore_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "engine/messages.h"
#include "keys/keyfiles_win.h"
#include "win/files_win.h"
#include "win/handle_win.h"
#include "win/wide_win.h"

namespace {

// Pad data moves through one bounded buffer, whatever the size of the store.
constexpr uint32_t kMovePortion = 1 << 20;
const char* const kPadPlaces[] = {kPadFileFirstPlace, kPadFileSecondPlace};
// Beside the pad file: what is left of a pad that grew after its front went into the store.
constexpr char kPadRestName[] = "PAD.nbr";

bool pathUnderAppData(const char* tail, char* path) {
    char base[kTextCapacity];
    return applicationDataFolder(base) && keyStorePath(base, tail, path, kTextCapacity);
}

// The store's folder, and the store, its draft, its journal and its lock in it.
struct StorePaths {
    char folder[kTextCapacity];
    char store[kTextCapacity];
    char draft[kTextCapacity];
    char journal[kTextCapacity];
    char lock[kTextCapacity];
};

bool storePaths(StorePaths& paths) {
    return pathUnderAppData(kKeyStoreFolder, paths.folder) &&
           joinText(paths.folder, kKeyStoreFileName, paths.store) &&
           joinText(paths.folder, kKeyStoreDraftName, paths.draft) &&
           joinText(paths.folder, kKeyStoreJournalName, paths.journal) &&
           joinText(paths.folder, kKeyStoreLockName, paths.lock);
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

enum Match { Same, Different, Unread };

bool allZero(const uint8_t* bytes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes[i]) {
            return false;
        }
    }
    return true;
}

// Whether `count` bytes of `a` from atA are those of `b` from atB. With zerosMatch, a portion of
// `a` that is all zeros matches too: it is what a crash leaves of an append that never reached
// the disk.
Match compareRanges(HANDLE a, uint64_t atA, HANDLE b, uint64_t atB, uint64_t count, bool zerosMatch) {
    const KeyFileOps& io = keyFileOps();
    auto* buffer = static_cast<uint8_t*>(takeMemory(2 * size_t(kMovePortion)));
    Match match = buffer && io.seek(a, atA) && io.seek(b, atB) ? Same : Unread;
    while (match == Same && count > 0) {
        uint32_t n = count < kMovePortion ? uint32_t(count) : kMovePortion;
        int64_t gotA = io.read(a, buffer, n);
        int64_t gotB = io.read(b, buffer + kMovePortion, n);
        if (gotA < 0 || gotB < 0) {
            match = Unread;
        } else if (gotA != int64_t(n) || (std::memcmp(buffer, buffer + kMovePortion, n) != 0 &&
                                          !(zerosMatch && allZero(buffer, n)))) {
            match = Different;
        }
        count -= n;
    }
    releaseMemory(buffer);
    return match;
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
    Handle file(io.open(paths.journal, GENERIC_WRITE, CREATE_NEW));
    if (!file.valid()) {
        return false;
    }
    bool written = io.write(file, bytes, sizeof bytes) && io.flush(file);
    file.close();
    if (!written) {
        io.remove(paths.journal);
    }
    return written;
}

bool markJournal(const StorePaths& paths, KeyStoreChange change) {
    const KeyFileOps& io = keyFileOps();
    Handle file(io.open(paths.journal, GENERIC_WRITE, OPEN_EXISTING));
    if (!file.valid()) {
        return false;
    }
    uint8_t word[4] = {uint8_t(change), 0, 0, 0};
    return io.seek(file, kJournalChangeOffset) && io.write(file, word, sizeof word) && io.flush(file);
}

// What recovery found and did.
enum Settled {
    SettledNothing,  // no record, or one the files do not bear out (left as they are)
    SettledUndone,   // the change was undone: the store as before it, the pad or no key
    SettledFinished, // the change was finished: the pad in the store, or the key in place
    SettledKeyLost,  // a draw whose bytes left the store but whose key cannot be put in place
    SettledPending,  // nothing could be settled; the record stays
};

// The store's size now; -1 when it cannot be opened, -2 when there is none.
int64_t storeSizeNow(const StorePaths& paths) {
    Handle store(keyFileOps().open(paths.store, GENERIC_READ, OPEN_EXISTING));
    if (!store.valid()) {
        return missingFile(store) ? -2 : -1;
    }
    return keyFileOps().size(store);
}

// The rest of the store past `from`, into the store's draft, flushed.
bool writeStoreDraft(const StorePaths& paths, HANDLE store, uint64_t from, uint64_t count) {
    const KeyFileOps& io = keyFileOps();
    auto* buffer = static_cast<uint8_t*>(takeMemory(kMovePortion));
    Handle draft(buffer ? io.open(paths.draft, GENERIC_WRITE, CREATE_ALWAYS) : INVALID_HANDLE_VALUE);
    bool written = draft.valid() && io.seek(store, from) &&
                   copyPortions(store, draft, count, buffer) == Copied && io.flush(draft);
    releaseMemory(buffer);
    return written;
}

// The file `name` in the folder of `path`.
bool besideFile(const char* path, const char* name, char* out) {
    if (!copyText(path, out, kTextCapacity)) {
        return false;
    }
    directoryOf(out);
    return appendText(out, kTextCapacity, name);
}

// The pad file in the place a fill's record names.
HANDLE openRecordedPad(const KeyStoreJournal& journal, DWORD access, char* path) {
    return pathUnderAppData(kPadPlaces[journal.padPlace], path)
               ? keyFileOps().open(path, access, OPEN_EXISTING)
               : INVALID_HANDLE_VALUE;
}

// Before the mark: bytes past the recorded size that are the pad's own front (or zeros a crash
// left) are cut off. A store the record does not fit is left alone.
Settled settleAppending(const StorePaths& paths, const KeyStoreJournal& journal) {
    const KeyFileOps& io = keyFileOps();
    Handle store(io.open(paths.store, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
    if (!store.valid()) {
        return missingFile(store) ? SettledUndone : SettledPending;
    }
    int64_t now = io.size(store);
    Settled settled = now < 0 ? SettledPending : SettledNothing;
    if (now >= 0 && uint64_t(now) <= journal.storeSize) {
        settled = SettledUndone;
    } else if (now >= 0 && uint64_t(now) - journal.storeSize <= journal.length) {
        char path[kTextCapacity];
        Handle pad(openRecordedPad(journal, GENERIC_READ, path));
        Match match = Same; // a pad that is gone has nothing left to match
        if (pad.valid()) {
            match = compareRanges(store, journal.storeSize, pad, 0, uint64_t(now) - journal.storeSize, true);
        } else if (!missingFile(pad)) {
            match = Unread;
        }
        if (match == Same) {
            settled = cutAt(store, journal.storeSize) ? SettledUndone : SettledPending;
        } else if (match == Unread) {
            settled = SettledPending;
        }
    }
    return settled;
}

// Takes the pad's first `count` of its `size` bytes off it, and closes it: emptied when that is
// all of it; otherwise what came after them is written beside it and put in its place.
bool dropPadFront(Handle pad, const char* padPath, uint64_t count, uint64_t size) {
    const KeyFileOps& io = keyFileOps();
    if (size == count) {
        return cutAt(pad, 0);
    }
    char rest[kTextCapacity];
    auto* buffer =
        besideFile(padPath, kPadRestName, rest) ? static_cast<uint8_t*>(takeMemory(kMovePortion)) : nullptr;
    Handle restFile(buffer ? io.open(rest, GENERIC_WRITE, CREATE_ALWAYS) : INVALID_HANDLE_VALUE);
    bool written = restFile.valid() && io.seek(pad, count) &&
                   copyPortions(pad, restFile, size - count, buffer) == Copied && io.flush(restFile);
    releaseMemory(buffer);
    // Both closed before the rest takes the pad's name.
    restFile.close();
    pad.close();
    return written && io.rename(rest, padPath);
}

// After the mark: the pad's front goes only where it still is exactly what the store gained.
// Anything else (the pad replaced, changed or cut meanwhile) and the store gives those bytes up:
// losing pad data is safe, handing it out twice is not.
Settled settleAppended(const StorePaths& paths, const KeyStoreJournal& journal) {
    const KeyFileOps& io = keyFileOps();
    Handle store(io.open(paths.store, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
    if (!store.valid()) {
        return missingFile(store) ? SettledNothing : SettledPending;
    }
    int64_t now = io.size(store);
    if (now < 0 || uint64_t(now) != journal.storeSize + journal.length) {
        return now < 0 ? SettledPending : SettledNothing;
    }
    char path[kTextCapacity];
    Handle pad(openRecordedPad(journal, GENERIC_READ | GENERIC_WRITE, path));
    if (!pad.valid()) {
        return missingFile(pad) ? SettledFinished : SettledPending;
    }
    int64_t padSize = io.size(pad);
    Match match = padSize < 0    ? Unread
                  : padSize == 0 ? Same
                  : uint64_t(padSize) < journal.length
                      ? Different
                      : compareRanges(pad, 0, store, journal.storeSize, journal.length, false);
    if (match == Same && padSize > 0) {
        match = dropPadFront(std::move(pad), path, journal.length, uint64_t(padSize)) ? Same : Unread;
    }
    return match == Same        ? SettledFinished
           : match == Different ? (cutAt(store, journal.storeSize) ? SettledUndone : SettledPending)
                                : SettledPending;
}

// A draft is reached only on a lettered local drive: a network folder or a device is never
// contacted by recovery, and a drive taken away proves nothing.
bool draftReachable(const char* draft) {
    char drive = keyDraftDrive(draft);
    char root[4] = {drive, ':', '\\', '\0'};
    UINT type = drive ? GetDriveTypeA(root) : DRIVE_UNKNOWN;
    return type == DRIVE_FIXED || type == DRIVE_REMOVABLE || type == DRIVE_RAMDISK;
}

// Where a draw's draft stands: certainly not there (removed, never made, or a longer file that is
// not the draw's own: its draft is created new), out of reach (a drive taken away, a network
// folder), or there and not to be moved just now.
enum DraftFate { DraftGone, DraftAway, DraftStuck };

DraftFate openDraft(const char* draft, Handle& file) {
    if (!draftReachable(draft)) {
        return DraftAway;
    }
    file = Handle(keyFileOps().open(draft, GENERIC_READ, OPEN_EXISTING));
    DWORD error = !file.valid() ? GetLastError() : ERROR_SUCCESS;
    return error == ERROR_FILE_NOT_FOUND ? DraftGone : error == ERROR_PATH_NOT_FOUND ? DraftAway : DraftStuck;
}

// The size of a reachable draft, closed again (-1 when it cannot be taken); -2, with `fate`
// telling why, when it cannot be opened.
int64_t draftSize(const char* draft, DraftFate& fate) {
    Handle file;
    fate = openDraft(draft, file);
    return file.valid() ? keyFileOps().size(file) : -2;
}

DraftFate removeDraft(const char* draft, uint64_t length) {
    DraftFate fate;
    int64_t size = draftSize(draft, fate);
    if (size == -2) {
        return fate;
    }
    if (size >= 0 && length > 0 && uint64_t(size) > length) {
        return DraftGone;
    }
    return size >= 0 && keyFileOps().remove(draft) ? DraftGone : DraftStuck;
}

// Puts a whole draft in its place as "KeyFile.txt" beside it. DraftGone: it is the key now, or
// there was no whole draft to put.
DraftFate finishDraft(const char* draft, uint64_t length, bool& finished) {
    finished = false;
    DraftFate fate;
    int64_t size = draftSize(draft, fate);
    if (size == -2) {
        return fate;
    }
    if (size < 0) {
        return DraftStuck;
    }
    if (uint64_t(size) != length) {
        return removeDraft(draft, length);
    }
    char key[kTextCapacity];
    finished = besideFile(draft, kKeyFileName, key) && keyFileOps().rename(draft, key);
    return finished ? DraftGone : DraftStuck;
}

// The store's size tells which side of the store's rename a draw ended on.
Settled settleDraw(const StorePaths& paths, const KeyStoreJournal& journal) {
    const KeyFileOps& io = keyFileOps();
    int64_t now = storeSizeNow(paths);
    // "keyblock.new" is only ever a copy of the store's rest, or already the store.
    if (now == -1 || !io.remove(paths.draft)) {
        return SettledPending;
    }
    const uint64_t before = journal.storeSize;
    const uint64_t length = journal.length;
    if (length == 0) {
        // An earlier version's record, without sizes: its draft goes, and nothing else is known.
        return removeDraft(journal.draft, 0) == DraftGone ? SettledUndone : SettledPending;
    }
    if (now >= 0 && uint64_t(now) == before && length <= before) {
        DraftFate fate = removeDraft(journal.draft, length);
        if (fate != DraftAway) {
            return fate == DraftGone ? SettledUndone : SettledPending;
        }
        // The draft may be back any time (a drive plugged in again): the store gives its bytes up.
        Handle store(io.open(paths.store, GENERIC_READ, OPEN_EXISTING));
        bool rest = store.valid() && writeStoreDraft(paths, store, length, before - length);
        store.close(); // before its draft takes its name
        return rest && io.rename(paths.draft, paths.store) ? SettledKeyLost : SettledPending;
    }
    if (now >= 0 && uint64_t(now) + length == before) {
        // The drawn bytes are in the draft alone: it becomes the key if it can.
        bool finished = false;
        DraftFate fate = finishDraft(journal.draft, length, finished);
        return finished ? SettledFinished : fate == DraftStuck ? SettledPending : SettledKeyLost;
    }
    return SettledNothing;
}

// Finishes or undoes whatever the journal records; run under the lock. `found` is the record
// (its change Draw with the draft's path, say), when one was read whole.
Settled recoverKeyStore(const StorePaths& paths, KeyStoreJournal& found) {
    const KeyFileOps& io = keyFileOps();
    found = KeyStoreJournal{};
    Handle file(io.open(paths.journal, GENERIC_READ, OPEN_EXISTING));
    if (!file.valid()) {
        return missingFile(file) ? SettledNothing : SettledPending;
    }
    uint8_t bytes[kJournalBytes + 1];
    int64_t got = io.read(file, bytes, sizeof bytes);
    file.close(); // the record is removed below
    if (got < 0) {
        return SettledPending;
    }
    KeyStoreJournal& journal = found;
    Settled settled = SettledNothing; // a record never written whole changed nothing
    if (decodeKeyStoreJournal(bytes, size_t(got), journal)) {
        switch (journal.change) {
        case KeyStoreChange::FillAppending:
            settled = settleAppending(paths, journal);
            break;
        case KeyStoreChange::FillAppended:
            settled = settleAppended(paths, journal);
            break;
        case KeyStoreChange::Draw:
            settled = settleDraw(paths, journal);
            break;
        }
    }
    return settled != SettledPending && io.remove(paths.journal) ? settled : SettledPending;
}

Settled recoverKeyStore(const StorePaths& paths) {
    KeyStoreJournal found;
    return recoverKeyStore(paths, found);
}

// What the start-up's recovery settled of a draw that an ended run left: the user was told
// nothing then, so it is said now.
void sayRecovered(KeyStoreReport& report, Settled settled, const KeyStoreJournal& journal) {
    if (journal.change != KeyStoreChange::Draw || journal.length == 0) {
        return;
    }
    char key[kTextCapacity];
    if (!besideFile(journal.draft, kKeyFileName, key)) {
        copyText(journal.draft, key);
    }
    char tail[512];
    if (settled == SettledFinished) {
        std::snprintf(tail, sizeof tail, kRecoveredKeyTail, static_cast<unsigned long long>(journal.length));
        composeAroundPath(kRecoveredKeyLead, key, tail, report.repaired, sizeof report.repaired);
    } else if (settled == SettledKeyLost) {
        std::snprintf(tail, sizeof tail, kRecoveredLossTail, static_cast<unsigned long long>(journal.length));
        composeAroundPath(kRecoveredLossLead, key, tail, report.repaired, sizeof report.repaired);
    }
}

void say(KeyStoreReport& report, const char* lead, const char* path, const char* tail) {
    report.notice.lead = lead;
    copyText(path, report.notice.path);
    report.notice.tail = tail;
}

// The status from a store of `size` bytes; unchanged when it could not be measured (below 0).
void statusFromSize(KeyStoreReport& report, int64_t size) {
    if (size >= 0) {
        report.statusChanged = true;
        report.status = statusForStoreSize(sizeAs32(size));
    }
}

// The status from the store as it is now.
void measureStatus(KeyStoreReport& report, const StorePaths& paths) {
    statusFromSize(report, storeSizeNow(paths));
}

// ---- Fill ----

enum FillOutcome { FillDone, FillNothing, FillPending, FillCannotMake, FillUndone, FillTooBig };

FillOutcome moveThePad(const StorePaths& paths, char* padPath) {
    const KeyFileOps& io = keyFileOps();
    if (recoverKeyStore(paths) == SettledPending) {
        return FillPending;
    }
    Handle store(io.open(paths.store, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
    if (!store.valid()) {
        return FillCannotMake;
    }
    int64_t before = io.size(store);
    uint32_t place = 0;
    Handle pad(before >= 0 ? openPad(GENERIC_READ | GENERIC_WRITE, place, padPath) : INVALID_HANDLE_VALUE);
    if (before < 0 || !pad.valid()) {
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
        recorded = writeJournal(paths, journal);
        // All of the pad goes into the store, or none of it.
        if (recorded && io.seek(store, uint64_t(before)) &&
            copyPortions(pad, store, uint64_t(padSize), buffer) == Copied && io.flush(store) &&
            markJournal(paths, KeyStoreChange::FillAppended)) {
            outcome = cutAt(pad, 0) && io.remove(paths.journal) ? FillDone : FillUndone;
        }
    }
    releaseMemory(buffer);
    // Closed before recovery opens them again.
    pad.close();
    store.close();
    if (recorded && outcome != FillDone) {
        // The record, read back, says how far the fill got: a mark that landed although its
        // flush failed counts as moved, and is finished.
        switch (recoverKeyStore(paths)) {
        case SettledFinished:
            return FillDone;
        case SettledPending:
            return FillPending;
        default:
            return FillUndone;
        }
    }
    return outcome;
}

// A fill under the lock, with what it has to say.
KeyStoreReport fillLocked(const StorePaths& paths) {
    KeyStoreReport report{};
    char pad[kTextCapacity] = "";
    FillOutcome outcome = moveThePad(paths, pad);
    switch (outcome) {
    case FillDone:
    case FillNothing:
        break;
    case FillPending:
        say(report, kKeyStoreFileLead, paths.journal, kPendingTail);
        return report;
    case FillCannotMake:
        say(report, kKeyStoreFileLead, paths.store, kCannotMakeTail);
        return report; // no store: the status stays as it was
    case FillUndone:
        say(report, kPadFileLead, pad, kFillUndoneTail);
        break;
    case FillTooBig:
        say(report, kPadFileLead, pad, kFillTooBigTail);
        break;
    }
    measureStatus(report, paths);
    return report;
}

// ---- Draw ----

enum DrawOutcome { DrawDone, DrawPending, DrawShort, DrawBlocked, DrawFailed, DrawKeyLost };

// The file whose operation failed, and why.
struct DrawFault {
    const char* lead;
    const char* path;
    DWORD error;
};

struct StoreSource {
    HANDLE store;
};

bool readFromStore(void* context, uint8_t* buffer, uint32_t count) {
    return keyFileOps().read(static_cast<StoreSource*>(context)->store, buffer, count) == int64_t(count);
}

void blame(DrawFault& fault, const char* lead, const char* path) {
    fault = DrawFault{lead, path, GetLastError()};
}

DrawOutcome drawInto(const StorePaths& paths, const KeyFileDraft& key, uint32_t length, DrawFault& fault) {
    const KeyFileOps& io = keyFileOps();
    if (recoverKeyStore(paths) == SettledPending) {
        return DrawPending;
    }
    // The store is cut before the key takes its name: a name that cannot be taken is seen first.
    DWORD attributes = winFileAttributes(key.path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        return DrawBlocked;
    }
    Handle store(io.open(paths.store, GENERIC_READ, OPEN_EXISTING));
    if (!store.valid()) {
        blame(fault, kKeyStoreFileLead, paths.store);
        return DrawFailed;
    }
    // Measured again now that no other copy can change it: a store drawn from or emptied since
    // the user was asked gives no key, rather than a shorter one.
    int64_t size = io.size(store);
    KeyStoreJournal journal{KeyStoreChange::Draw, 0, uint64_t(size), length, ""};
    DrawOutcome outcome = DrawFailed;
    if (size < 0) {
        blame(fault, kKeyStoreFileLead, paths.store);
    } else if (length == 0 || uint64_t(size) < length) {
        outcome = DrawShort;
    } else if (!copyText(key.draft, journal.draft) || !writeJournal(paths, journal)) {
        blame(fault, kKeyStoreFileLead, paths.journal);
    } else {
        StoreSource source{store};
        DraftResult keyWritten =
            io.seek(store, 0) ? writeKeyDraft(key, length, readFromStore, &source) : DraftFillFailed;
        if (keyWritten == DraftWriteFailed) {
            blame(fault, kKeyFileLead, key.path);
        } else if (keyWritten == DraftFillFailed) {
            blame(fault, kKeyStoreFileLead, paths.store);
        } else if (!writeStoreDraft(paths, store, length, uint64_t(size) - length)) {
            blame(fault, kKeyStoreFileLead, paths.draft);
        } else {
            outcome = DrawDone;
        }
    }
    store.close(); // before the rest of it takes its name
    if (outcome != DrawDone && outcome != DrawFailed) {
        return outcome;
    }
    if (outcome == DrawFailed && fault.path == paths.journal) {
        return DrawFailed; // no record: nothing was changed
    }
    // The drawn bytes leave the store here, all at once; then the key takes its name.
    if (outcome == DrawDone && !io.rename(paths.draft, paths.store)) {
        blame(fault, kKeyStoreFileLead, paths.store);
        outcome = DrawFailed;
    }
    if (outcome == DrawDone && !io.rename(key.draft, key.path)) {
        blame(fault, kKeyFileLead, key.path);
        outcome = DrawFailed;
    }
    if (outcome == DrawDone) {
        io.remove(paths.journal); // one left behind is settled by the next recovery
        return DrawDone;
    }
    // The record, read back, says how far the draw got.
    switch (recoverKeyStore(paths)) {
    case SettledFinished:
        return DrawDone;
    case SettledKeyLost:
        return DrawKeyLost;
    case SettledPending:
        return DrawPending;
    default:
        return DrawFailed;
    }
}

bool diskFull(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

} // namespace

KeyStoreReport fillKeyStoreFiles() {
    KeyStoreReport report{};
    StorePaths paths;
    if (!storePaths(paths)) {
        return report;
    }
    Handle lock;
    LockResult locked = keyFileOps().makeFolder(paths.folder) ? lockKeyFile(paths.lock, lock) : LockFailed;
    if (locked == Busy) {
        say(report, kKeyStoreFileLead, paths.store, kKeyStoreBusyTail);
    } else if (locked != Locked) {
        say(report, kKeyStoreFileLead, paths.store, kCannotMakeTail);
    } else {
        report = fillLocked(paths);
    }
    return report;
}

KeyStoreReport checkKeyStoreFiles() {
    KeyStoreReport report{};
    StorePaths paths;
    const KeyFileOps& io = keyFileOps();
    Handle lock;
    // No store folder: no store, and no record of a change to settle either.
    LockResult locked = storePaths(paths) ? lockKeyFile(paths.lock, lock) : NoFolder;
    if (locked == Busy) {
        say(report, kKeyStoreFileLead, paths.store, kKeyStoreBusyTail);
        return report;
    }
    // What an interrupted fill or draw left is settled before anything is measured; one that
    // cannot be settled yet is said at the next fill or draw.
    if (locked == Locked) {
        KeyStoreJournal journal;
        sayRecovered(report, recoverKeyStore(paths, journal), journal);
    }
    int64_t size = locked == NoFolder ? -2 : storeSizeNow(paths);
    if (size >= kKeyStoreMinimum) {
        statusFromSize(report, size);
    } else if (size >= 0) {
        if (locked == Locked) {
            KeyStoreReport filled = fillLocked(paths);
            copyText(report.repaired, filled.repaired);
            report = filled;
        }
        if (!report.statusChanged) {
            statusFromSize(report, size);
        }
    } else {
        uint32_t place = 0;
        char path[kTextCapacity];
        Handle pad(openPad(GENERIC_READ, place, path));
        uint32_t padSize = pad.valid() ? sizeAs32(io.size(pad)) : 0;
        report.statusChanged = true;
        report.status = measuredKeyStoreStatus(false, 0, pad.valid(), padSize);
    }
    return report;
}

KeyStoreReport drawKeyStoreFile(const KeyFileDraft* key, const char* folder, uint32_t inputSize,
                                uint32_t storeSizeSeen) {
    KeyStoreReport report{};
    StorePaths paths;
    if (!storePaths(paths)) {
        say(report, kKeyStoreFileLead, "", kDrawUndoneTail);
        return report;
    }
    // The recovery of a draw removes only drafts named "nbk*.tmp", so a folder too deep for that
    // name takes no key at all.
    if (!key || !isKeyDraftPath(key->draft)) {
        say(report, kKeyFileLead, folder, kDrawUndoneTail);
        return report;
    }
    Handle lock;
    LockResult locked = lockKeyFile(paths.lock, lock);
    if (locked != Locked) {
        say(report, kKeyStoreFileLead, paths.store, locked == Busy ? kKeyStoreBusyTail : kDrawUndoneTail);
        return report;
    }
    DrawFault fault{kKeyStoreFileLead, paths.store, 0};
    DrawOutcome outcome = drawInto(paths, *key, keyStoreDrawLength(inputSize, storeSizeSeen), fault);
    measureStatus(report, paths);
    lock.close();
    switch (outcome) {
    case DrawDone:
        copyText(key->path, report.keyFile);
        break;
    case DrawPending:
        say(report, kKeyStoreFileLead, paths.journal, kPendingTail);
        break;
    case DrawShort:
        say(report, kKeyStoreFileLead, paths.store, kDrawShortTail);
        break;
    case DrawBlocked:
        say(report, kKeyFileLead, key->path, kKeyFileBlockedTail);
        break;
    case DrawFailed:
        say(report, fault.lead, fault.path, diskFull(fault.error) ? kDrawNoRoomTail : kDrawUndoneTail);
        break;
    case DrawKeyLost:
        say(report, kKeyFileLead, key->path, kDrawLostTail);
        break;
    }
    return report;
}
