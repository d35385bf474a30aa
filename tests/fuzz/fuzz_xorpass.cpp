// The product's XOR pass against the literal rules, for fuzzer-chosen chunk size, payload,
// key kind, key length and byte count.
#include "support/literal_xor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) {
        return 0;
    }
    uint32_t Q = 4 + data[0] % 64;
    bool keyIsFile = data[1] & 1;
    uint32_t keyLength = keyIsFile ? 1 + data[2] % 200 : 32 + data[2] % 100;
    uint32_t keyBytes = keyIsFile ? 1 + data[3] % keyLength : keyLength;
    std::vector<uint8_t> key(keyLength);
    for (uint32_t i = 0; i < keyLength; ++i) {
        key[i] = uint8_t(data[4] + i * 37);
    }
    std::vector<uint8_t> payload(data + 5, data + size);
    if (payload.size() > 4000) {
        payload.resize(4000);
    }
    if (productXorPass(payload, key, keyIsFile, keyBytes, Q) !=
        literalXorPass(payload, key, keyIsFile, keyBytes, Q)) {
        __builtin_trap();
    }
    return 0;
}
