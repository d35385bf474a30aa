// A deliberately literal, byte-by-byte transcription of the XOR pass rules, kept apart from
// the product's optimised pass so that the two can be compared over many shapes of input.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/xorpass.h"

// In-memory files for the pass: a data source, a key file with a read position, an output.
struct MemoryStreams {
    std::vector<uint8_t> data;
    size_t dataPos = 0;
    std::vector<uint8_t> keyFile;
    size_t keyPos = 0;
    std::vector<uint8_t> output;
    std::vector<uint32_t> progress;
    size_t failWriteAfter = SIZE_MAX; // bytes accepted before a write fails

    static int64_t readData(void* c, uint8_t* buffer, uint32_t count) {
        auto* s = static_cast<MemoryStreams*>(c);
        size_t n = std::min<size_t>(count, s->data.size() - s->dataPos);
        if (n == 0) {
            return 0;
        }
        std::memcpy(buffer, s->data.data() + s->dataPos, n);
        s->dataPos += n;
        return int64_t(n);
    }
    static int64_t readKey(void* c, uint8_t* buffer, uint32_t count) {
        auto* s = static_cast<MemoryStreams*>(c);
        size_t n = std::min<size_t>(count, s->keyFile.size() - s->keyPos);
        if (n == 0) {
            return 0;
        }
        std::memcpy(buffer, s->keyFile.data() + s->keyPos, n);
        s->keyPos += n;
        return int64_t(n);
    }
    static bool write(void* c, const uint8_t* buffer, uint32_t count) {
        auto* s = static_cast<MemoryStreams*>(c);
        if (s->output.size() + count > s->failWriteAfter) {
            return false;
        }
        s->output.insert(s->output.end(), buffer, buffer + count);
        return true;
    }
    static void rewindKey(void* c) { static_cast<MemoryStreams*>(c)->keyPos = 0; }
    static void report(void* c, uint32_t p) { static_cast<MemoryStreams*>(c)->progress.push_back(p); }

    XorStreams streams() { return XorStreams{this, readData, readKey, write, report}; }
};

// The rules X1 to X8 as written: one byte per step, 4-byte words in blocks, every key reload
// performed, unsigned 32-bit counters throughout. `Streams` gives S payload bytes through
// readData, the key file through readKey and rewindKey, and takes the output through write.
template <class Streams>
void literalXorRun(Streams& s, uint32_t S, const std::vector<uint8_t>& keyString, bool keyIsFile,
                   uint32_t keyBytes, uint32_t Q) {
    std::vector<uint8_t> D(Q + 50, 0), K(std::max<size_t>(Q, keyString.size()) + 50, 0);
    uint32_t m, kc;
    if (keyIsFile) {
        if (keyBytes <= Q) {
            m = keyBytes;
            kc = 0;
        } else {
            m = Q;
            kc = 1;
        }
        Streams::readKey(&s, K.data(), m);
    } else {
        m = uint32_t(keyString.size());
        kc = 0;
        if (m > 0) {
            std::memcpy(K.data(), keyString.data(), m);
        }
    }
    auto readD = [&](uint32_t n) { Streams::readData(&s, D.data(), n); };
    auto x8 = [&] {
        if (!keyIsFile) {
            return;
        }
        if (kc == 0) {
            Streams::rewindKey(&s);
            m = keyBytes < Q ? keyBytes : Q;
            Streams::readKey(&s, K.data(), m);
        } else {
            uint32_t r = keyBytes - kc * Q;
            m = r < Q ? r : Q;
            kc += 1;
            Streams::readKey(&s, K.data(), m);
        }
    };
    // X1
    uint32_t R = S;
    uint32_t n = S < Q ? S : Q;
    readD(n);
    uint64_t done = 0;
    uint32_t di = 0, ki = 0, dp = 1, kp = 1;
    if (S == 0) {
        return;
    }
    for (;;) {
        // X2
        uint32_t a = n - dp;
        uint32_t b = m - kp;
        // X3
        if (a >= 4 && b >= 4) {
            uint32_t w = (a < b ? a : b) / 4 * 4;
            for (uint32_t i = 0; i < w; i += 4) {
                for (uint32_t j = 0; j < 4; ++j) {
                    D[di + i + j] ^= K[ki + i + j];
                }
            }
            di += w;
            ki += w;
            dp += w;
            kp += w;
        } else {
            D[di] = D[di] ^ K[ki];
        }
        // X4
        if (dp != n) {
            di += 1;
            ki += 1;
        } else if (R > Q) {
            done += n;
            uint32_t p = uint32_t(done * 100 / S);
            if (p == 100) {
                p = 99;
            }
            Streams::report(&s, 100 + p);
            Streams::write(&s, D.data(), Q);
            n = R < Q ? R : Q;
            R = R - n;
            readD(n);
            di = 0;
            ki = 0;
            dp = 0;
        }
        // X5
        if (kp == m) {
            x8();
            ki = 0;
            kp = 0;
        }
        // X6
        dp += 1;
        kp += 1;
        if (dp <= R) {
            continue;
        }
        break;
    }
    // X7
    Streams::write(&s, D.data(), R);
}

inline std::vector<uint8_t> literalXorPass(std::vector<uint8_t> input,
                                           const std::vector<uint8_t>& keyFileOrString, bool keyIsFile,
                                           uint32_t keyBytes, uint32_t Q) {
    MemoryStreams s;
    s.data = std::move(input);
    s.keyFile = keyFileOrString;
    literalXorRun(s, uint32_t(s.data.size()), keyFileOrString, keyIsFile, keyBytes, Q);
    return s.output;
}

// The product's pass over the same streams, with buffers of exactly the chunk size plus the
// program's 50 spare bytes.
template <class Streams>
void productXorRun(Streams& s, uint32_t S, const std::vector<uint8_t>& keyFileOrString, bool keyIsFile,
                   uint32_t keyBytes, uint32_t Q) {
    std::vector<uint8_t> D(Q + 50, 0), K(std::max<size_t>(Q, keyFileOrString.size()) + 50, 0);
    XorPassSetup setup{};
    setup.data = D.data();
    setup.key = K.data();
    setup.chunkSize = Q;
    setup.payloadLength = S;
    setup.keyIsFile = keyIsFile;
    if (keyIsFile) {
        setup.keyBytes = keyBytes;
        firstKeyChunk(keyBytes, Q, setup.keyChunkLength, setup.keyChunkCount);
        Streams::readKey(&s, K.data(), setup.keyChunkLength);
    } else {
        setup.keyBytes = uint32_t(keyFileOrString.size());
        setup.keyChunkLength = setup.keyBytes;
        if (!keyFileOrString.empty()) {
            std::memcpy(K.data(), keyFileOrString.data(), keyFileOrString.size());
        }
    }
    runXorPass(setup, XorStreams{&s, Streams::readData, Streams::readKey, Streams::write, Streams::report});
}

inline std::vector<uint8_t> productXorPass(const std::vector<uint8_t>& input,
                                           const std::vector<uint8_t>& keyFileOrString, bool keyIsFile,
                                           uint32_t keyBytes, uint32_t Q,
                                           std::vector<uint32_t>* progress = nullptr) {
    MemoryStreams s;
    s.data = input;
    s.keyFile = keyFileOrString;
    productXorRun(s, uint32_t(input.size()), keyFileOrString, keyIsFile, keyBytes, Q);
    if (progress) {
        *progress = s.progress;
    }
    return s.output;
}
