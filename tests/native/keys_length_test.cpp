#include <gtest/gtest.h>

#include "keys/keylength.h"

namespace {

TEST(KeyLength, IsTheNextPowerOfTwoAboveTheInput) {
    struct Case {
        uint32_t inputSize;
        uint32_t expected;
    } cases[] = {
        {0, 2},
        {1, 2},
        {2, 4},
        {3, 4},
        {4, 8},
        {1000, 1024},
        {1023, 1024},
        {1024, 2048},
        {1025, 2048},
        {3000, 4096},
        {50000, 65536},
        {0x3FFFFFFFu, 0x40000000u},
        {0x40000000u, 0x80000000u},
        {0x7FFFFFFFu, 0x80000000u},
        // No power of two above these fits 32 bits: the longest length still covers them.
        {0x80000000u, 0xFFFFFFFFu},
        {0x80000001u, 0xFFFFFFFFu},
        {0xFFFFFFFEu, 0xFFFFFFFFu},
        {0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keyLengthFor(c.inputSize), c.expected) << "input " << c.inputSize;
    }
}

TEST(KeyLength, AlwaysCoversTheInputAndAtMostDoublesIt) {
    // Every bit width and its neighbours: the key is never shorter than the input it is for.
    for (uint32_t bit = 0; bit < 32; ++bit) {
        for (int64_t delta = -1; delta <= 1; ++delta) {
            int64_t value = (int64_t(1) << bit) + delta;
            if (value < 0 || value > 0xFFFFFFFFll) {
                continue;
            }
            uint32_t n = uint32_t(value);
            uint64_t length = keyLengthFor(n);
            EXPECT_GE(length, uint64_t(n) + (n == 0xFFFFFFFFu ? 0 : 1)) << n;
            EXPECT_LE(length, n < 2 ? 2 : 2 * uint64_t(n)) << n;
        }
    }
}

} // namespace
