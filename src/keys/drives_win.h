// Drive key files: the drives that carry a "KeyRing.txt" index and the key files it lists. The
// index read last, and its selected entry, are kept here between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The letters, in order, of the removable and optical drives with an index in their root.
std::string findKeyDrives();
// Reads the index of `drive` (its letter, as the drive list shows it): the names it lists, in
// order. True when it has an entry; the first entry is then selected.
bool readDriveIndex(const char* drive, std::vector<std::string>& names);
// The selected entry's key file into keyPath: relative to the drive's root when the file is
// there, else as written. False, leaving keyPath as it was, when there is no such entry.
bool resolveDriveEntry(char* keyPath, size_t capacity);
// The key file list's selection moved to `position`: when it differs from the selected entry
// the entry is taken and resolved into keyPath. False when nothing changed.
bool selectDriveEntry(uint32_t position, char* keyPath, size_t capacity);
