// What a job's output must be, computed with the portable pass.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine/container.h"
#include "engine/xorpass.h"
#include "support/literal_xor.h"

inline std::vector<uint8_t> xorWithString(const std::vector<uint8_t>& data, const std::string& keyText) {
    uint8_t key[2 * kTextCapacity]; // the longest key string the command line takes, expanded
    uint32_t m = expandKeyString(keyText.c_str(), key, sizeof key);
    return productXorPass(data, std::vector<uint8_t>(key, key + m), false, m, kChunkSize);
}

inline std::vector<uint8_t> xorWithKeyFile(const std::vector<uint8_t>& data,
                                           const std::vector<uint8_t>& keyFile, uint32_t keyBytes = 0) {
    return productXorPass(data, keyFile, true, keyBytes ? keyBytes : uint32_t(keyFile.size()), kChunkSize);
}

// Times far from now, so that a stamped file cannot have them by chance.
constexpr uint64_t kCreated = 0x01D0000011112222ull;
constexpr uint64_t kAccessed = 0x01D1000033334444ull;
constexpr uint64_t kWritten = 0x01D2000055556666ull;

// A container as the program writes it: header, then the payload XORed with the key file.
inline std::vector<uint8_t> makeContainer(const std::string& plainName, const std::string& description,
                                          const std::string& keyPath, const std::vector<uint8_t>& plain,
                                          const std::vector<uint8_t>& key) {
    ContainerHeader header{};
    copyText(plainName.c_str(), header.plainName, sizeof header.plainName);
    header.hasDescription = !description.empty();
    copyText(description.c_str(), header.description, sizeof header.description);
    header.hasKeyPath = !keyPath.empty();
    copyText(keyPath.c_str(), header.keyPath, sizeof header.keyPath);
    header.creationTime = kCreated;
    header.lastAccessTime = kAccessed;
    header.lastWriteTime = kWritten;
    header.attributes = 0x20; // archive
    uint8_t bytes[kMaxHeaderLength];
    uint32_t length = encodeHeader(header, bytes);
    std::vector<uint8_t> container(bytes, bytes + length);
    std::vector<uint8_t> payload = xorWithKeyFile(plain, key);
    container.insert(container.end(), payload.begin(), payload.end());
    return container;
}
