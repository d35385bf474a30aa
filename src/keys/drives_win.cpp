// Drive key files: "KeyRing.txt" indexes in the root of removable and optical drives.
#include <memory>
#include <new>

#include "app/files_win.h"
#include "engine/job.h"
#include "keys/keyring.h"
#include "keys/keytools_win.h"
#include "resource.h"

namespace {

uint32_t gDriveCount = 0;
char gIndexRoot[kIndexRootCapacity] = "";
// The entries of the last index that had an entry line; an index without one leaves it.
std::unique_ptr<KeyRingIndex> gEntryTable;
uint32_t gEntryCount = 0;
uint32_t gSelectedEntry = 0;

} // namespace

uint32_t scanDrives(HWND window) {
    SendDlgItemMessageA(window, IDC_DRIVES, CB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(window, IDC_KEY_FILES, CB_RESETCONTENT, 0, 0);
    gDriveCount = 0;
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
        if (!indexRootFor(letter, root, sizeof root) || !isKeyDriveType(GetDriveTypeA(root)) ||
            !indexFilePath(root, index, sizeof index) || !opensForReading(index)) {
            continue;
        }
        SendDlgItemMessageA(window, IDC_DRIVES, CB_INSERTSTRING, gDriveCount, LPARAM(letter));
        ++gDriveCount;
    }
    SetErrorMode(previousMode);
    if (gDriveCount == 0) {
        return 0;
    }
    SendDlgItemMessageA(window, IDC_DRIVES, CB_SETCURSEL, 0, 0);
    return readDriveIndex(window);
}

uint32_t readDriveIndex(HWND window) {
    SendDlgItemMessageA(window, IDC_KEY_FILES, CB_RESETCONTENT, 0, 0);
    gEntryCount = 0;
    char drive[290] = "";
    GetDlgItemTextA(window, IDC_DRIVES, drive, sizeof drive);
    char path[kIndexRootCapacity];
    if (!indexRootFor(drive, gIndexRoot, sizeof gIndexRoot) ||
        !indexFilePath(gIndexRoot, path, sizeof path)) {
        return 0;
    }
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    // Without the memory to read it, the index reads as one that cannot be read.
    std::unique_ptr<KeyRingParser> parser(new (std::nothrow) KeyRingParser);
    if (!parser) {
        CloseHandle(file);
        return 0;
    }
    beginKeyRing(*parser);
    uint8_t bytes[4096];
    for (;;) {
        int64_t got = readFully(file, bytes, sizeof bytes);
        if (got <= 0) {
            break;
        }
        feedKeyRingBytes(*parser, bytes, size_t(got));
    }
    finishKeyRing(*parser);
    CloseHandle(file);

    const KeyRingIndex& index = parser->index;
    for (uint32_t i = 0; i < index.nameCount; ++i) {
        SendDlgItemMessageA(window, IDC_KEY_FILES, CB_INSERTSTRING, i, LPARAM(index.names[i]));
    }
    if (index.entryLineMet) {
        gEntryTable.reset(new (std::nothrow) KeyRingIndex(index));
    }
    // Entries with no table to hold them are dropped.
    gEntryCount = gEntryTable ? index.entryCount : 0;
    if (gEntryCount == 0) {
        return 0;
    }
    SendDlgItemMessageA(window, IDC_KEY_FILES, CB_SETCURSEL, 0, 0);
    gSelectedEntry = 0;
    resolveDriveEntry();
    return 1;
}

void resolveDriveEntry() {
    char candidate[kTextCapacity];
    if (!gEntryTable ||
        !entryCandidate(*gEntryTable, gIndexRoot, gSelectedEntry, candidate, sizeof candidate)) {
        return; // no such entry: the key path stays as it was
    }
    JobSettings& job = gState.job;
    // Relative to the drive's root when the file is there, else as written.
    copyText(opensForReading(candidate) ? candidate : entrySlotPath(*gEntryTable, gSelectedEntry),
             job.keyPath);
}

bool selectDriveEntry(uint32_t position) {
    if (position == gSelectedEntry) {
        return false;
    }
    gSelectedEntry = position;
    resolveDriveEntry();
    return true;
}
