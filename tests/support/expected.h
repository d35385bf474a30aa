// What a job's output must be, computed with the portable pass.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine/xorpass.h"
#include "support/literal_xor.h"

inline std::vector<uint8_t> xorWithString(const std::vector<uint8_t>& data, const std::string& keyText) {
    uint8_t key[1024];
    uint32_t m = expandKeyString(keyText.c_str(), key, sizeof key);
    return productXorPass(data, std::vector<uint8_t>(key, key + m), false, m, kChunkSize);
}

inline std::vector<uint8_t> xorWithKeyFile(const std::vector<uint8_t>& data,
                                           const std::vector<uint8_t>& keyFile, uint32_t keyBytes = 0) {
    return productXorPass(data, keyFile, true, keyBytes ? keyBytes : uint32_t(keyFile.size()), kChunkSize);
}
