// Any bytes as a "KeyRing.txt": the index read from them stays within its bounds, and reading the
// file byte by byte, in portions or all at once gives the same index.
#include <cstring>
#include <initializer_list>

#include "keys/keyring.h"
#include "text/text.h"

namespace {

// Three parsers of about 80 KB each: kept out of the fuzzer's stack.
KeyRingParser whole, single, portions;

void checkBounds(const KeyRingIndex& index) {
    bool capacityOk =
        index.entryCapacity == kDefaultEntryCapacity ||
        (index.entryCapacity >= kMinCountedCapacity && index.entryCapacity <= kMaxEntryCapacity);
    if (!capacityOk || index.entryCount > index.entryCapacity || index.nameCount > index.entryCapacity ||
        (index.nameCount != index.entryCount && index.nameCount != index.entryCount + 1)) {
        __builtin_trap();
    }
    if (!index.entryLineMet && index.nameCount != 0) {
        __builtin_trap();
    }
    for (uint32_t i = 0; i < kMaxEntryCapacity; ++i) {
        if (std::memchr(index.names[i], 0, kEntryNameCapacity) == nullptr ||
            std::memchr(index.paths[i], 0, kEntryPathCapacity) == nullptr) {
            __builtin_trap();
        }
        // Slots past the entries hold nothing, so no stale path can be resolved.
        if ((i >= index.nameCount && index.names[i][0] != '\0') ||
            (i >= index.entryCount && index.paths[i][0] != '\0')) {
            __builtin_trap();
        }
    }
    for (uint32_t selected : {0u, index.entryCount, index.entryCapacity, 0xFFFFFFFFu}) {
        char candidate[kTextCapacity];
        bool made = entryCandidate(index, "E:/", selected, candidate, sizeof candidate);
        bool slot = entrySlotPath(index, selected) != nullptr;
        if (made != slot || (made && std::strlen(candidate) > 3 + kEntryPathCapacity - 1)) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    parseKeyRing(whole, data, size);

    beginKeyRing(single);
    for (size_t i = 0; i < size; ++i) {
        feedKeyRingByte(single, data[i]);
    }
    finishKeyRing(single);

    // Portion lengths taken from the file itself, so that the fuzzer moves the cuts around.
    beginKeyRing(portions);
    for (size_t at = 0, k = 0; at < size; ++k) {
        size_t length = 1 + data[k % size] % 37;
        if (length > size - at) {
            length = size - at;
        }
        feedKeyRingBytes(portions, data + at, length);
        at += length;
    }
    finishKeyRing(portions);

    if (std::memcmp(&whole.index, &single.index, sizeof whole.index) != 0 ||
        std::memcmp(&whole.index, &portions.index, sizeof whole.index) != 0) {
        __builtin_trap();
    }
    checkBounds(whole.index);
    return 0;
}
