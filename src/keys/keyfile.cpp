#include "keys/keyfile.h"

#include <cstring>

#include "engine/paths.h"

bool keyDraftPath(const char* folder, const char* finalName, uint32_t pick, char* out, size_t capacity,
                  char separator) {
    return partialFilePath(folder, kKeyDraftPrefix, finalName, pick, out, capacity, separator);
}

DraftResult fillKeyDraft(uint32_t length, uint8_t* buffer, KeyBytesSource fill, void* fillContext,
                         KeyBytesSink write, void* writeContext) {
    DraftResult result = DraftWritten;
    for (uint32_t done = 0; result == DraftWritten && done < length;) {
        uint32_t count = length - done < kKeyPortion ? length - done : kKeyPortion;
        if (!fill(fillContext, buffer, count)) {
            result = DraftFillFailed;
        } else if (!write(writeContext, buffer, count)) {
            result = DraftWriteFailed;
        }
        done += count;
    }
    std::memset(buffer, 0, kKeyPortion);
    return result;
}
