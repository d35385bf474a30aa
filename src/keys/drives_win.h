// Drive key files: the drives that carry a "KeyRing.txt" index and the key files it lists. The
// index read last is kept here between calls; which of its entries is chosen is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The letters, in order, of the removable and optical drives with an index in their root.
std::string findKeyDrives();
// Reads the index of `drive` (its letter, as the drive list shows it): the names it lists, in
// order. True when it has an entry.
bool readDriveIndex(const char* drive, std::vector<std::string>& names);
// Entry `entry`'s key file into keyPath: relative to the drive's root when the file is there,
// else as written. False, leaving keyPath as it was, when there is no such entry.
bool resolveDriveEntry(uint32_t entry, char* keyPath, size_t capacity);
