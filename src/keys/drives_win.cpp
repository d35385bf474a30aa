// Drive key files: "KeyRing.txt" indexes in the root of removable and optical drives.
#include "keys/drives_win.h"

#include <windows.h>

#include <memory>
#include <new>

#include "keys/keyring.h"
#include "text/text.h"
#include "win/files_win.h"
#include "win/handle_win.h"
#include "win/wide_win.h"

namespace {

char gIndexRoot[kIndexRootCapacity] = "";
// The entries of the last index that had an entry line; an index without one leaves it.
std::unique_ptr<KeyRingIndex> gEntryTable;
uint32_t gEntryCount = 0;
// Index files are in the system's code page, as earlier versions and the tools that make them
// wrote them, unless they start with the UTF-8 byte order mark.
bool gEntriesInUtf8 = false;

bool entryText(const char* stored, bool utf8, char* out, size_t capacity) {
    return utf8 ? copyText(stored, out, capacity) : fromCodePage(stored, out, capacity);
}

} // namespace

std::string findKeyDrives() {
    std::string letters;
    DWORD present = GetLogicalDrives();
    // Drives without a medium must not raise a system error box during the scan.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    for (uint32_t position = 0; position < 28; ++position) {
        if (!(present & (1u << position))) {
            continue;
        }
        char letter[2] = {driveLetterAt(position), '\0'};
        char root[kIndexRootCapacity];
        char index[kIndexRootCapacity];
        if (!indexRootFor(letter, root, sizeof root) || !isKeyDriveType(winDriveType(root)) ||
            !indexFilePath(root, index, sizeof index) || !opensForReading(index)) {
            continue;
        }
        letters += letter[0];
    }
    SetErrorMode(previousMode);
    return letters;
}

bool readDriveIndex(const char* drive, std::vector<std::string>& names) {
    names.clear();
    gEntryCount = 0;
    char path[kIndexRootCapacity];
    if (!indexRootFor(drive, gIndexRoot, sizeof gIndexRoot) ||
        !indexFilePath(gIndexRoot, path, sizeof path)) {
        return false;
    }
    Handle file(openForReading(path));
    if (!file.valid()) {
        return false;
    }
    // Without the memory to read it, the index reads as one that cannot be read.
    std::unique_ptr<KeyRingParser> parser(new (std::nothrow) KeyRingParser);
    if (!parser) {
        return false;
    }
    beginKeyRing(*parser);
    uint8_t bytes[4096];
    bool utf8 = false;
    for (bool first = true;; first = false) {
        int64_t got = readFully(file, bytes, sizeof bytes);
        if (got <= 0) {
            break;
        }
        size_t skip = 0;
        if (first && got >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
            utf8 = true;
            skip = 3;
        }
        feedKeyRingBytes(*parser, bytes + skip, size_t(got) - skip);
    }
    finishKeyRing(*parser);
    file.close();

    const KeyRingIndex& index = parser->index;
    for (uint32_t i = 0; i < index.nameCount; ++i) {
        char name[kEntryNameCapacity * 3];
        names.push_back(entryText(index.names[i], utf8, name, sizeof name) ? name : "");
    }
    if (index.entryLineMet) {
        gEntryTable.reset(new (std::nothrow) KeyRingIndex(index));
        gEntriesInUtf8 = utf8;
    }
    // Entries with no table to hold them are dropped.
    gEntryCount = gEntryTable ? index.entryCount : 0;
    return gEntryCount != 0;
}

bool resolveDriveEntry(uint32_t entry, char* keyPath, size_t capacity) {
    char stored[kTextCapacity];
    char candidate[kTextCapacity];
    char written[kTextCapacity];
    if (!gEntryTable || !entryCandidate(*gEntryTable, gIndexRoot, entry, stored, sizeof stored) ||
        !entryText(stored, gEntriesInUtf8, candidate, sizeof candidate) ||
        !entryText(entrySlotPath(*gEntryTable, entry), gEntriesInUtf8, written, sizeof written)) {
        return false;
    }
    return copyText(opensForReading(candidate) ? candidate : written, keyPath, capacity);
}
