#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/xorpass.h"
#include "support/literal_xor.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = uint8_t(seed + 7 * i + (i >> 8));
    }
    return b;
}

Bytes distinctKey(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = uint8_t(1 + i % 250); // never zero, so an unchanged byte is visible
    }
    return b;
}

// For data of zeros the output is the key stream itself; -1 marks a byte left unchanged.
std::vector<int> keyOffsetsUsed(const Bytes& out, const Bytes& key) {
    std::vector<int> offsets;
    for (uint8_t v : out) {
        int found = -1;
        for (size_t k = 0; k < key.size() && v != 0; ++k) {
            if (key[k] == v) {
                found = int(k);
                break;
            }
        }
        offsets.push_back(found);
    }
    return offsets;
}

TEST(KeyString, ExpandsToWholeCopiesOfAtLeast32Bytes) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"", std::string("HarbinLockworks") + "HarbinLockworks" + "HarbinLockworks"},
        {"a", std::string(32, 'a')},
        {"abcde", "abcdeabcdeabcdeabcdeabcdeabcdeabcde"},
        {std::string(32, 'z'), std::string(32, 'z')},
        {std::string(289, 'q'), std::string(289, 'q')},
    };
    for (const Case& c : cases) {
        uint8_t key[700];
        uint32_t n = expandKeyString(c.text.c_str(), key, sizeof key);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(key), n), c.expected) << c.text;
    }
    uint8_t small[40];
    EXPECT_EQ(expandKeyString("", small, sizeof small), 0u);
}

TEST(XorPassRules, ALongKeyPassesOverTheByteAfterEachBlock) {
    const Bytes key = distinctKey(200);
    struct Case {
        size_t payload;
        std::vector<size_t> unchanged;
    } cases[] = {{1, {}},   {4, {}},    {5, {4}},    {8, {4}},    {9, {8}},
                 {12, {8}}, {13, {12}}, {100, {96}}, {101, {100}}};
    for (const Case& c : cases) {
        Bytes out = productXorPass(Bytes(c.payload, 0), key, true, uint32_t(key.size()), 1000);
        ASSERT_EQ(out.size(), c.payload);
        for (size_t i = 0; i < c.payload; ++i) {
            bool expectUnchanged = std::find(c.unchanged.begin(), c.unchanged.end(), i) != c.unchanged.end();
            EXPECT_EQ(out[i] == 0, expectUnchanged) << "payload " << c.payload << " offset " << i;
            if (!expectUnchanged) {
                EXPECT_EQ(out[i], key[i]) << "payload " << c.payload << " offset " << i;
            }
        }
    }
}

TEST(XorPassRules, A32ByteStringKeyLeavesOffsets28_60_92) {
    const Bytes key = distinctKey(32);
    Bytes out = productXorPass(Bytes(100, 0), key, false, 32, kChunkSize);
    for (size_t i = 0; i < out.size(); ++i) {
        bool unchanged = i == 28 || i == 60 || i == 92;
        EXPECT_EQ(out[i] == 0, unchanged) << i;
    }
}

TEST(XorPassRules, ASevenByteKeyFileNeverUsesItsByte4) {
    const Bytes key = distinctKey(7);
    Bytes out = productXorPass(Bytes(20, 0), key, true, 7, kChunkSize);
    const std::vector<int> expected = {0, 1, 2, 3, -1, 5, 6, 0, 1, 2, 3, -1, 5, 6, 0, 1, 2, 3, -1, 5};
    EXPECT_EQ(keyOffsetsUsed(out, key), expected);
}

TEST(XorPassRules, TheDefaultKeyNeverUsesItsLastByte) {
    uint8_t key[64];
    uint32_t m = expandKeyString("", key, sizeof key);
    ASSERT_EQ(m, 45u);
    Bytes data = pattern(180, 3); // whole periods: near a chunk's end the blocks follow the data
    Bytes out = productXorPass(data, Bytes(key, key + m), false, m, kChunkSize);
    for (size_t i = 0; i < data.size(); ++i) {
        size_t k = i % 45;
        EXPECT_EQ(out[i], k == 44 ? data[i] : uint8_t(data[i] ^ key[k])) << i;
    }
}

// The 25,000,000-byte boundaries, scaled down to a chunk of 100 bytes.
TEST(XorPassRules, OneByteMoreThanAChunkMakesASecondChunk) {
    const uint32_t Q = 100;
    const Bytes key100 = distinctKey(100);
    Bytes out = productXorPass(Bytes(101, 0), key100, true, 100, Q);
    ASSERT_EQ(out.size(), 101u);
    EXPECT_EQ(out[100], key100[0]);

    Bytes key120 = distinctKey(120);
    key120[100] = 0xEE; // unique, to see which key byte lands on the last data byte
    out = productXorPass(Bytes(101, 0), key120, true, 120, Q);
    EXPECT_EQ(out[100], 0xEE);

    out = productXorPass(Bytes(100, 0), key100, true, 100, Q);
    EXPECT_EQ(out.size(), 100u);
}

TEST(XorPassRules, AKeyLongerThanAChunkIsNotRestartedWhenUsedUp) {
    // 30,000,000-byte key over 60,000,000 bytes, at a chunk of 100: key 120, payload 240.
    Bytes key(120);
    for (size_t i = 0; i < key.size(); ++i) {
        key[i] = uint8_t(i + 1);
    }
    Bytes out = productXorPass(Bytes(240, 0), key, true, 120, 100);
    ASSERT_EQ(out.size(), 240u);
    std::vector<int> expected;
    auto run = [&](int from, int to) {
        for (int k = from; k <= to; ++k) {
            expected.push_back(k);
        }
    };
    run(0, 95), expected.push_back(-1), run(97, 99);      // first key chunk
    run(100, 115), expected.push_back(-1), run(117, 119); // second chunk (20 bytes)
    run(100, 119), run(20, 75), expected.push_back(-1);   // buffer: 2nd chunk + rest of 1st
    run(77, 79);                                          // data chunk boundary at 200
    run(100, 115), expected.push_back(-1), run(117, 119); // key index restarted at 0
    run(100, 119);
    EXPECT_EQ(keyOffsetsUsed(out, key), expected);
}

TEST(XorPassRules, ProgressMovesOnlyAtChunkBoundaries) {
    std::vector<uint32_t> progress;
    productXorPass(pattern(350, 1), distinctKey(50), true, 50, 100, &progress);
    EXPECT_EQ(progress, (std::vector<uint32_t>{128, 157, 185}));
    productXorPass(pattern(100, 1), distinctKey(50), true, 50, 100, &progress);
    EXPECT_TRUE(progress.empty());
    productXorPass(pattern(10000, 1), distinctKey(50), true, 50, 100, &progress);
    ASSERT_EQ(progress.size(), 99u);
    EXPECT_EQ(progress.back(), 199u);
}

TEST(XorPassRules, XorTwiceGivesTheInputBack) {
    const Bytes data = pattern(1000, 9);
    for (uint32_t keyLength : {1u, 7u, 32u, 45u, 999u, 1000u, 3000u}) {
        Bytes key = pattern(keyLength, 77);
        Bytes once = productXorPass(data, key, true, keyLength, 64);
        Bytes twice = productXorPass(once, key, true, keyLength, 64);
        EXPECT_EQ(twice, data) << keyLength;
    }
}

TEST(XorPassRules, AnEmptyPayloadWritesNothing) {
    EXPECT_TRUE(productXorPass({}, distinctKey(40), true, 40, 100).empty());
}

TEST(XorPassRules, AFailedWriteStopsThePass) {
    MemoryStreams s;
    s.data = pattern(350, 1);
    s.failWriteAfter = 150;
    Bytes D(150), K(150);
    Bytes key = distinctKey(40);
    std::copy(key.begin(), key.end(), K.begin());
    XorPassSetup setup{D.data(), K.data(), 100, 350, 0, 40, 40, 0};
    EXPECT_EQ(runXorPass(setup, s.streams()), XorOutcome::WriteFailed);
    EXPECT_EQ(s.output.size(), 100u);
}

// The product's pass against the literal rules over many shapes: payload and key lengths
// around chunk and word edges, keys shorter and longer than a chunk, byte counts below the
// key file's size, string keys.
TEST(XorPassDifferential, AgreesWithTheLiteralRules) {
    std::mt19937 random(20261207);
    auto pick = [&](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(random);
    };
    for (int round = 0; round < 4000; ++round) {
        uint32_t Q = pick(0, 3) == 0 ? pick(4, 12) : pick(13, 300);
        uint32_t S = pick(0, 4) == 0 ? Q * pick(1, 4) + pick(0, 2) - 1 : pick(0, 5 * Q);
        bool keyIsFile = pick(0, 3) != 0;
        Bytes key;
        uint32_t keyBytes;
        if (keyIsFile) {
            uint32_t fileLength = pick(0, 2) == 0 ? pick(1, 10) : pick(1, 4 * Q + 5);
            key = pattern(fileLength, uint8_t(round));
            keyBytes = pick(0, 2) == 0 ? pick(1, fileLength) : fileLength;
        } else {
            key = pattern(pick(32, 300), uint8_t(round));
            keyBytes = uint32_t(key.size());
        }
        Bytes data = pattern(S, uint8_t(round * 3));
        Bytes expected = literalXorPass(data, key, keyIsFile, keyBytes, Q);
        Bytes actual = productXorPass(data, key, keyIsFile, keyBytes, Q);
        ASSERT_EQ(actual, expected) << "round " << round << " Q " << Q << " S " << S << " file " << keyIsFile
                                    << " key " << key.size() << " keyBytes " << keyBytes;
    }
}

TEST(XorPassDifferential, AgreesAtTheProgramsChunkSize) {
    // Two full-size chunks plus a tail, with a short string key and with a key file longer
    // than a chunk: the sizes the program really runs.
    const uint32_t S = 2 * kChunkSize + 12345;
    Bytes data = pattern(S, 5);
    uint8_t keyText[64];
    uint32_t m = expandKeyString("", keyText, sizeof keyText);
    Bytes stringKey(keyText, keyText + m);
    EXPECT_EQ(productXorPass(data, stringKey, false, m, kChunkSize),
              literalXorPass(data, stringKey, false, m, kChunkSize));
    Bytes fileKey = pattern(kChunkSize + 777, 11);
    EXPECT_EQ(productXorPass(data, fileKey, true, uint32_t(fileKey.size()), kChunkSize),
              literalXorPass(data, fileKey, true, uint32_t(fileKey.size()), kChunkSize));
}

// Payloads of nearly 4 GiB, made as they are read from one chunk's worth of pattern: of the
// output only the bytes around each chunk boundary and the last ones are kept.
struct SyntheticStreams {
    static constexpr uint64_t kEdge = 96;
    uint64_t size;
    uint32_t chunk;
    const Bytes& table; // two chunks of the same pattern, so any read is one copy
    const Bytes& keyFile;
    uint64_t dataPos = 0;
    uint64_t written = 0;
    Bytes kept{};
    std::vector<uint32_t> progress{};

    static int64_t readData(void* c, uint8_t* buffer, uint32_t count) {
        auto* s = static_cast<SyntheticStreams*>(c);
        uint32_t n = uint32_t(std::min<uint64_t>(count, s->size - s->dataPos));
        std::memcpy(buffer, s->table.data() + s->dataPos % s->chunk, n);
        s->dataPos += n;
        return n;
    }
    static int64_t readKey(void* c, uint8_t* buffer, uint32_t count) {
        auto* s = static_cast<SyntheticStreams*>(c);
        uint32_t n = std::min<uint32_t>(count, uint32_t(s->keyFile.size()));
        std::memcpy(buffer, s->keyFile.data(), n); // only whole short keys are read
        return n;
    }
    static bool write(void* c, const uint8_t* buffer, uint32_t count) {
        auto* s = static_cast<SyntheticStreams*>(c);
        const uint64_t start = s->written;
        const uint64_t end = start + count;
        const uint64_t last = s->size > kEdge ? s->size - kEdge : 0;
        for (uint64_t p = start; p < end;) {
            uint64_t offset = p % s->chunk;
            if (offset < kEdge || offset >= s->chunk - kEdge || p >= last) {
                s->kept.push_back(buffer[p - start]);
                ++p;
            } else {
                p = std::min({p - offset + s->chunk - kEdge, std::max(last, p + 1), end});
            }
        }
        s->written = end;
        return true;
    }
    static void report(void* c, uint32_t p) { static_cast<SyntheticStreams*>(c)->progress.push_back(p); }
};

// Within one key length of 4 GiB a 32-bit sum of the pass wraps; the pass must still end and
// follow the literal rules. With whole key periods in a chunk and a payload that repeats each
// chunk, every chunk comes out as the first one, so the literal rules over two chunks give the
// bytes of every boundary and of the end. The chunk is small so that the work stays in the cache.
TEST(XorPassDifferential, AgreesWithinOneKeyLengthOf4GiB) {
    const uint32_t Q = 252 * 4096; // whole periods of both keys
    Bytes table = pattern(Q, 17);
    table.insert(table.end(), table.begin(), table.end());
    struct Key {
        bool file;
        uint32_t length;
    } keys[] = {{false, 36}, {true, 7}};
    for (const Key& k : keys) {
        const Bytes key = distinctKey(k.length);
        const Bytes twoChunks = literalXorPass(table, key, k.file, k.length, Q);
        ASSERT_TRUE(std::equal(twoChunks.begin(), twoChunks.begin() + Q, twoChunks.begin() + Q));
        const uint64_t top = uint64_t(1) << 32;
        for (uint64_t S : {top - 1, top - k.length, top - k.length + 1}) {
            SCOPED_TRACE(testing::Message() << (k.file ? "key file " : "key string ") << k.length << ", S " << S);
            SyntheticStreams expected{S, Q, table, key, 0, 0, {}, {}};
            for (uint64_t at = 0; at < S; at += Q) {
                SyntheticStreams::write(&expected, twoChunks.data(), uint32_t(std::min<uint64_t>(Q, S - at)));
            }
            SyntheticStreams product{S, Q, table, key, 0, 0, {}, {}};
            productXorRun(product, uint32_t(S), key, k.file, k.length, Q);
            EXPECT_EQ(product.written, S);
            auto differ = std::mismatch(product.kept.begin(), product.kept.end(), expected.kept.begin(),
                                        expected.kept.end());
            EXPECT_TRUE(differ.first == product.kept.end() && differ.second == expected.kept.end())
                << "kept byte " << (differ.first - product.kept.begin()) << " of " << expected.kept.size();
            // The percentage never wraps: it climbs to 99 at the last boundary.
            EXPECT_TRUE(std::is_sorted(product.progress.begin(), product.progress.end()));
            EXPECT_EQ(product.progress.size(), (S - 1) / Q);
            EXPECT_EQ(product.progress.back(), 199u);
        }
    }
}

} // namespace
