#include "engine/xorpass.h"

#include <cstring>

#include "text/text.h"

uint32_t expandKeyString(const char* text, uint8_t* key, uint32_t capacity) {
    const char* source = text[0] != '\0' ? text : kDefaultKeyText;
    uint32_t length = textLength(source);
    uint32_t copies = (kMinStringKeyLength + length - 1) / length;
    if (copies == 0) {
        copies = 1;
    }
    uint64_t total = uint64_t(length) * copies;
    if (total > capacity) {
        return 0;
    }
    for (uint32_t i = 0; i < copies; ++i) {
        std::memcpy(key + uint64_t(i) * length, source, length);
    }
    return uint32_t(total);
}

void firstKeyChunk(uint32_t keyBytes, uint32_t chunkSize, uint32_t& length, uint32_t& count) {
    if (keyBytes <= chunkSize) {
        length = keyBytes;
        count = 0;
    } else {
        length = chunkSize;
        count = 1;
    }
}

void xorBytes(uint8_t* dst, const uint8_t* src, uint32_t n) {
    uint32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        uint64_t a[4];
        uint64_t b[4];
        std::memcpy(a, dst + i, 32);
        std::memcpy(b, src + i, 32);
        a[0] ^= b[0];
        a[1] ^= b[1];
        a[2] ^= b[2];
        a[3] ^= b[3];
        std::memcpy(dst + i, a, 32);
    }
    for (; i + 8 <= n; i += 8) {
        uint64_t a;
        uint64_t b;
        std::memcpy(&a, dst + i, 8);
        std::memcpy(&b, src + i, 8);
        a ^= b;
        std::memcpy(dst + i, &a, 8);
    }
    for (; i < n; ++i) {
        dst[i] ^= src[i];
    }
}

namespace {

// Keys up to this length that never change during the pass are applied through a pattern
// of whole key periods, so a short key costs no per-period bookkeeping.
constexpr uint32_t kPatternMaxKey = 4096;
constexpr uint32_t kPatternBytes = 16384;

struct Pass {
    const XorPassSetup& setup;
    const XorStreams& io;
    uint32_t m;  // key chunk length
    uint32_t kc; // key chunk count
    uint8_t pattern[kPatternBytes];
    uint32_t patternLength = 0;

    // The next key chunk. A key string never changes. A whole key file (kc = 0) would be read
    // again from its start into the same bytes: it is open without sharing, and its first
    // read delivered all m bytes, so the buffer already holds what that read would give.
    bool nextKeyChunk() {
        if (!setup.keyIsFile || kc == 0) {
            return true;
        }
        const uint32_t q = setup.chunkSize;
        uint32_t rest = setup.keyBytes - kc * q;
        m = rest < q ? rest : q;
        ++kc;
        return io.readKey(io.context, setup.key, m) >= 0;
    }

    bool keyIsStable() const { return !setup.keyIsFile || kc == 0; }

    // One key period as it falls on data that runs past it: the bytes a period XORs, with a
    // zero for every passed-over byte, repeated to fill the pattern.
    void buildPattern() {
        const uint8_t* key = setup.key;
        std::memset(pattern, 0, m);
        uint32_t j = 0;
        uint32_t kp = 1;
        for (;;) {
            uint32_t b = m - kp;
            if (b >= 4) {
                uint32_t w = b & ~3u;
                std::memcpy(pattern + j, key + j, w);
                j += w;
                kp += w;
            } else {
                pattern[j] = key[j];
            }
            ++j;
            if (kp == m) {
                break;
            }
            ++kp;
        }
        patternLength = (kPatternBytes / m) * m;
        for (uint32_t at = m; at < patternLength; at += m) {
            std::memcpy(pattern + at, pattern, m);
        }
    }

    void xorPeriods(uint8_t* data, uint64_t length) {
        while (length >= patternLength) {
            xorBytes(data, pattern, patternLength);
            data += patternLength;
            length -= patternLength;
        }
        xorBytes(data, pattern, uint32_t(length));
    }

    XorOutcome run();
};

XorOutcome Pass::run() {
    uint8_t* D = setup.data;
    uint8_t* K = setup.key;
    const uint32_t Q = setup.chunkSize;
    const uint32_t S = setup.payloadLength;
    if (S == 0 || m == 0) {
        return XorOutcome::Done;
    }

    uint32_t R = S;
    uint32_t n = S < Q ? S : Q;
    if (io.readData(io.context, D, n) < 0) {
        return XorOutcome::DataReadFailed;
    }
    uint64_t done = 0;
    uint32_t di = 0, ki = 0, dp = 1, kp = 1;
    const bool patterned = keyIsStable() && m <= kPatternMaxKey;

    for (;;) {
        // At the start of a key period (kp = 1, ki = 0, dp = di + 1), every whole period that
        // ends before the chunk's last byte behaves the same; do them all at once.
        if (patterned && kp == 1 && n > di && n - di - 1 >= m) {
            if (patternLength == 0) {
                buildPattern();
            }
            uint32_t periods = (n - 1 - di - m) / m + 1;
            // No further than the pass would go. In 64 bits: within one key length of 4 GiB
            // the sum would wrap to 0 and the pass would never advance.
            uint64_t needed = (uint64_t(R) - di + m - 1) / m;
            if (needed < periods) {
                periods = uint32_t(needed);
            }
            uint64_t length = uint64_t(periods) * m;
            xorPeriods(D + di, length);
            di += uint32_t(length);
            dp += uint32_t(length);
            if (dp > R) {
                break;
            }
            continue;
        }

        uint32_t a = n - dp;
        uint32_t b = m - kp; // wraps when a key file ran out (m = 0): no key limit then
        if (a >= 4 && b >= 4) {
            uint32_t w = (a < b ? a : b) & ~3u;
            xorBytes(D + di, K + ki, w);
            di += w;
            ki += w;
            dp += w;
            kp += w;
            // The byte now at D[di] and its key byte are passed over.
        } else {
            D[di] ^= K[ki];
        }

        if (dp != n) {
            ++di;
            ++ki;
        } else if (R > Q) {
            done += n;
            uint32_t p = uint32_t(done * 100 / S);
            if (p == 100) {
                p = 99;
            }
            if (io.reportProgress) {
                io.reportProgress(io.context, 100 + p);
            }
            if (!io.writeOutput(io.context, D, Q)) {
                return XorOutcome::WriteFailed;
            }
            if (io.nextChunkBuffer) {
                D = io.nextChunkBuffer(io.context);
                if (!D) {
                    return XorOutcome::WriteFailed;
                }
            }
            n = R < Q ? R : Q;
            R -= n;
            if (io.readData(io.context, D, n) < 0) {
                return XorOutcome::DataReadFailed;
            }
            di = 0;
            ki = 0;
            dp = 0;
        }

        if (kp == m) {
            if (!nextKeyChunk()) {
                return XorOutcome::KeyReadFailed;
            }
            ki = 0;
            kp = 0;
        }
        ++dp;
        ++kp;
        if (dp > R) {
            break;
        }
    }
    return io.writeOutput(io.context, D, R) ? XorOutcome::Done : XorOutcome::WriteFailed;
}

} // namespace

XorOutcome runXorPass(const XorPassSetup& setup, const XorStreams& streams) {
    Pass pass{setup, streams, setup.keyChunkLength, setup.keyChunkCount, {}};
    return pass.run();
}
