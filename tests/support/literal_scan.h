// The analyser's counting rules applied one byte at a time, exactly as written: the tests and
// the fuzzer hold the product's scan against it, the benchmark times the scan against it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "keys/analyser.h"

inline void literalScan(KeyStats& stats, const uint8_t* bytes, size_t count) {
    uint32_t balance = uint32_t(stats.balance); // wraps as the 32-bit count does
    for (size_t i = 0; i < count; ++i) {
        uint8_t v = bytes[i];
        if (v == 0 && stats.previous == 0) {
            ++stats.zeroPairs;
        } else if (v == stats.previous) {
            ++stats.repeats;
        }
        balance += v >= 128 ? 1u : 0xFFFFFFFFu;
        stats.previous = v;
    }
    stats.balance = int32_t(balance);
}
