// Any bytes as the start of a ".qdx" file: the decoder must never read past them, and what
// it accepts must encode back to the same header bytes where those bytes carry meaning.
#include <cstring>

#include "engine/container.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ContainerHeader header;
    if (decodeHeader(data, size, header) != HeaderStatus::Ok) {
        return 0;
    }
    if (header.headerLength > size || header.plainName[kFieldCapacity - 1] != '\0' ||
        header.description[kFieldCapacity - 1] != '\0' ||
        header.keyPath[kFieldCapacity - 1] != '\0') {
        __builtin_trap();
    }
    uint8_t encoded[kMaxHeaderLength];
    uint32_t length = encodeHeader(header, encoded);
    ContainerHeader again;
    if (length != header.headerLength || decodeHeader(encoded, length, again) != HeaderStatus::Ok ||
        std::memcmp(&again, &header, sizeof header) != 0) {
        __builtin_trap();
    }
    StoredFile* stored = new StoredFile();
    storedFileFromHeader(header, *stored);
    if (std::strchr(stored->plainName, '\\') || std::strchr(stored->plainName, '/') ||
        std::strchr(stored->plainName, ':')) {
        __builtin_trap();
    }
    delete stored;
    return 0;
}
