// Drive key indexes: the "KeyRing.txt" file in the root of a removable or optical drive lists
// key files by display name and path. The parser takes the file's bytes as they are read, in
// any portions, and keeps every output within fixed bounds whatever the file holds.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr char kKeyRingFileName[] = "KeyRing.txt";
inline constexpr char kNoDriveIndexText[] =
    "No valid index in any removable drive. Refer to ReadMe for further details.";

// Drive types (as the platform numbers them) whose roots are searched for an index.
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveCdRom = 5;

constexpr uint32_t kDefaultEntryCapacity = 10;
constexpr uint32_t kMinCountedCapacity = 11;
constexpr uint32_t kMaxEntryCapacity = 199;
// Display names keep their first 99 characters, paths their first 299, lines their first 599.
constexpr size_t kEntryNameCapacity = 100;
constexpr size_t kEntryPathCapacity = 300;
constexpr size_t kIndexLineCapacity = 600;
// The root an index was read from, such as "E:/".
constexpr size_t kIndexRootCapacity = 32;

struct KeyRingIndex {
    uint32_t entryCapacity;
    // Complete entries: a name and its path.
    uint32_t entryCount;
    // Names for the key file list: entryCount, or one more when the last name has no path line.
    uint32_t nameCount;
    // An entry line was met. Only then does this index replace the previous entry table; an
    // index without one leaves the old table in place.
    uint32_t entryLineMet;
    char names[kMaxEntryCapacity][kEntryNameCapacity];
    char paths[kMaxEntryCapacity][kEntryPathCapacity];
};

// The reading state of one index file. About 80 KB: keep it off small stacks.
struct KeyRingParser {
    KeyRingIndex index;
    char line[kIndexLineCapacity];
    uint32_t lineLength; // characters kept, at most 599
    uint32_t commentMark;
    uint32_t countMark;
    uint32_t expectPath; // the next entry line is a path
};

// Clears everything: no entries, capacity 10, an empty line, the next entry line is a name.
void beginKeyRing(KeyRingParser& parser);
void feedKeyRingByte(KeyRingParser& parser, uint8_t byte);
void feedKeyRingBytes(KeyRingParser& parser, const uint8_t* bytes, size_t count);
// The end of the file: a last line without a carriage return is dropped unread.
void finishKeyRing(KeyRingParser& parser);
// beginKeyRing, the whole file, finishKeyRing.
void parseKeyRing(KeyRingParser& parser, const uint8_t* bytes, size_t count);

// The letter of a drive mask position (0 is A), or 0 for positions past Z.
char driveLetterAt(uint32_t position);
bool isKeyDriveType(uint32_t driveType);
// The drive list's text followed by ":/" (for example "E:/"); false when it does not fit.
bool indexRootFor(const char* driveText, char* root, size_t capacity);
// root + "KeyRing.txt"; false when it does not fit.
bool indexFilePath(const char* root, char* path, size_t capacity);

// The path text of slot `selected`, empty for a slot without its path line; null when there is
// no such slot: no entry line was met, or the selection (none is 0xFFFFFFFF) lies past the
// table's capacity. The caller then leaves keyPath as it was.
const char* entrySlotPath(const KeyRingIndex& index, uint32_t selected);
// The first path to try for slot `selected`: indexRoot followed by the slot's path. When it does
// not open, the slot's path as written is the key path. False, with candidate unchanged, when
// there is no such slot or the candidate does not fit.
bool entryCandidate(const KeyRingIndex& index, const char* indexRoot, uint32_t selected, char* candidate,
                    size_t capacity);
