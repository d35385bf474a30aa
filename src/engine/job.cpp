#include "engine/job.h"

#include <cstring>

void resetJobRequest(JobRequest& request) {
    std::memset(&request, 0, sizeof request);
    request.direction = Encrypt;
    request.mode = ModeXor;
    request.keyKind = KeyKind::File;
}

uint32_t keyBytesInUse(uint32_t keyFileBytes, uint64_t count) {
    return count != 0 && count < keyFileBytes ? uint32_t(count) : keyFileBytes;
}
