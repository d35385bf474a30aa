#include "keys/keyring.h"

#include <cstring>

#include "text/text.h"

namespace {

constexpr uint8_t kCarriageReturn = 13;
constexpr uint8_t kLineFeed = 10;
constexpr uint8_t kCommentMarker = '#';
constexpr uint8_t kCountMarker = '-';

bool isSpecial(uint8_t byte) {
    return byte == kCarriageReturn || byte == kLineFeed || byte == kCommentMarker || byte == kCountMarker;
}

// Text beyond the 599th character of a line is dropped: nothing in the format needs more, and
// a cut name, path or count still reads the same way.
void keepText(KeyRingParser& parser, const uint8_t* bytes, size_t count) {
    size_t room = (kIndexLineCapacity - 1) - parser.lineLength;
    size_t n = count < room ? count : room;
    std::memcpy(parser.line + parser.lineLength, bytes, n);
    parser.lineLength += uint32_t(n);
}

void handleLine(KeyRingParser& parser) {
    KeyRingIndex& index = parser.index;
    // A zero byte inside the line counts as a character but ends its text, as in any text.
    parser.line[parser.lineLength] = '\0';

    if (parser.countMark) {
        // After the first entry line the mark stays set, so this line and every later one
        // end here: a "-" there ends the index.
        if (!index.entryLineMet) {
            parser.countMark = 0;
            uint32_t value = parseDecimal(parser.line);
            if (value >= kMinCountedCapacity && value <= kMaxEntryCapacity) {
                index.entryCapacity = value;
            }
        }
        // A "#" on a count line is left set: it makes the next line a comment.
        return;
    }
    if (parser.commentMark) {
        parser.commentMark = 0;
        return;
    }
    if (parser.lineLength <= 2) {
        return;
    }

    index.entryLineMet = 1;
    if (index.entryCount >= index.entryCapacity) {
        return;
    }
    if (!parser.expectPath) {
        cutText(parser.line, kEntryNameCapacity - 1, index.names[index.entryCount]);
        index.nameCount = index.entryCount + 1;
        parser.expectPath = 1;
    } else {
        cutText(parser.line, kEntryPathCapacity - 1, index.paths[index.entryCount]);
        index.entryCount += 1;
        parser.expectPath = 0;
    }
}

} // namespace

void beginKeyRing(KeyRingParser& parser) {
    std::memset(&parser, 0, sizeof parser);
    parser.index.entryCapacity = kDefaultEntryCapacity;
}

void feedKeyRingByte(KeyRingParser& parser, uint8_t byte) {
    switch (byte) {
    case kLineFeed:
        break;
    case kCommentMarker:
        parser.commentMark = 1;
        break;
    case kCountMarker:
        parser.countMark = 1;
        break;
    case kCarriageReturn:
        handleLine(parser);
        parser.lineLength = 0;
        break;
    default:
        keepText(parser, &byte, 1);
        break;
    }
}

void feedKeyRingBytes(KeyRingParser& parser, const uint8_t* bytes, size_t count) {
    size_t i = 0;
    while (i < count) {
        size_t run = i;
        while (run < count && !isSpecial(bytes[run])) {
            ++run;
        }
        keepText(parser, bytes + i, run - i);
        if (run == count) {
            break;
        }
        feedKeyRingByte(parser, bytes[run]);
        i = run + 1;
    }
}

void finishKeyRing(KeyRingParser& parser) {
    parser.lineLength = 0;
    parser.line[0] = '\0';
}

void parseKeyRing(KeyRingParser& parser, const uint8_t* bytes, size_t count) {
    beginKeyRing(parser);
    feedKeyRingBytes(parser, bytes, count);
    finishKeyRing(parser);
}

char driveLetterAt(uint32_t position) {
    return position < 26 ? char('A' + position) : '\0';
}

bool isKeyDriveType(uint32_t driveType) {
    return driveType == kDriveRemovable || driveType == kDriveCdRom;
}

bool indexRootFor(const char* driveText, char* root, size_t capacity) {
    return joinText(driveText, ":/", root, capacity);
}

bool indexFilePath(const char* root, char* path, size_t capacity) {
    return joinText(root, kKeyRingFileName, path, capacity);
}

const char* entrySlotPath(const KeyRingIndex& index, uint32_t selected) {
    // A name whose path line never came sits in a slot of the table that stays empty; past the
    // capacity there is no slot at all.
    if (!index.entryLineMet || selected >= index.entryCapacity || selected >= kMaxEntryCapacity) {
        return nullptr;
    }
    return index.paths[selected];
}

bool entryCandidate(const KeyRingIndex& index, const char* indexRoot, uint32_t selected, char* candidate,
                    size_t capacity) {
    const char* path = entrySlotPath(index, selected);
    if (!path) {
        return false;
    }
    size_t rootLength = std::strlen(indexRoot);
    size_t pathLength = boundedLength(path, kEntryPathCapacity - 1);
    if (rootLength + pathLength >= capacity) {
        return false;
    }
    std::memmove(candidate, indexRoot, rootLength);
    std::memcpy(candidate + rootLength, path, pathLength);
    candidate[rootLength + pathLength] = '\0';
    return true;
}
