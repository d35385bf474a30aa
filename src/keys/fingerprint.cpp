#include "keys/fingerprint.h"

#include <cstring>

namespace {

constexpr uint64_t kP1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kP2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kP3 = 0x165667B19E3779F9ull;
constexpr uint64_t kP4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kP5 = 0x27D4EB2F165667C5ull;

uint64_t rotateLeft(uint64_t x, unsigned n) {
    return (x << n) | (x >> (64 - n));
}

// Little-endian on every system, so that systems sharing a ledger agree.
uint64_t load64(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#else
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
#endif
}

uint32_t load32(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#else
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
#endif
}

uint64_t round64(uint64_t lane, uint64_t word) {
    return rotateLeft(lane + word * kP2, 31) * kP1;
}

// Eight lanes of 32 bits: as fast in the 32-bit program as in the 64-bit one, where lanes of 64
// bits would take three multiplications each.
constexpr uint32_t kQ1 = 0x9E3779B1u;
constexpr uint32_t kQ2 = 0x85EBCA77u;

// One multiplication a word, the bound on speed: the product carries each bit of the lane into
// every bit above it, and the rotation brings the most mixed bits down for the next word. Each
// step is a bijection of the lane, so a changed word is undone only by a later word that happens
// to match the lane's new value exactly.
uint32_t round32(uint32_t lane, uint32_t word) {
    lane = (lane ^ word) * kQ1;
    return (lane << 15) | (lane >> 17);
}

// GCC would put the lanes in vector registers, where SSE2 has no 32-bit multiplication and the
// product becomes a long chain of shifts: the plain instructions are faster.
#if defined(__GNUC__) && !defined(__clang__)
#define NIMBREL_SCALAR_LOOP __attribute__((optimize("no-tree-vectorize")))
#else
#define NIMBREL_SCALAR_LOOP
#endif

// Eight named lanes: an array would live in memory and wait on its own stores.
NIMBREL_SCALAR_LOOP void feedStripes(uint32_t (&lanes)[8], const uint8_t* p, size_t stripes) {
    uint32_t a = lanes[0], b = lanes[1], c = lanes[2], d = lanes[3];
    uint32_t e = lanes[4], f = lanes[5], g = lanes[6], h = lanes[7];
    for (; stripes > 0; --stripes, p += 32) {
        a = round32(a, load32(p));
        b = round32(b, load32(p + 4));
        c = round32(c, load32(p + 8));
        d = round32(d, load32(p + 12));
        e = round32(e, load32(p + 16));
        f = round32(f, load32(p + 20));
        g = round32(g, load32(p + 24));
        h = round32(h, load32(p + 28));
    }
    lanes[0] = a, lanes[1] = b, lanes[2] = c, lanes[3] = d;
    lanes[4] = e, lanes[5] = f, lanes[6] = g, lanes[7] = h;
}

uint64_t mixDown(uint64_t h) {
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return h ^ (h >> 32);
}

} // namespace

void startFingerprint(Fingerprint& print) {
    for (uint32_t i = 0; i < 8; ++i) {
        print.lanes[i] = kQ1 * (2 * i + 1) + kQ2;
    }
    print.total = 0;
    print.tailLength = 0;
}

void feedFingerprint(Fingerprint& print, const uint8_t* bytes, size_t count) {
    print.total += count;
    if (print.tailLength > 0) {
        size_t take = 32 - print.tailLength < count ? 32 - print.tailLength : count;
        std::memcpy(print.tail + print.tailLength, bytes, take);
        print.tailLength += uint32_t(take);
        bytes += take;
        count -= take;
        if (print.tailLength < 32) {
            return;
        }
        feedStripes(print.lanes, print.tail, 1);
        print.tailLength = 0;
    }
    feedStripes(print.lanes, bytes, count / 32);
    std::memcpy(print.tail, bytes + count / 32 * 32, count % 32);
    print.tailLength = uint32_t(count % 32);
}

uint64_t finishFingerprint(const Fingerprint& print) {
    uint64_t h = print.total * kP5;
    for (uint32_t lane : print.lanes) {
        h = rotateLeft(h ^ (uint64_t(lane) * kP1), 27) * kP2 + kP4;
    }
    const uint8_t* p = print.tail;
    uint32_t left = print.tailLength;
    for (; left >= 8; left -= 8, p += 8) {
        h = rotateLeft(h ^ round64(0, load64(p)), 27) * kP1 + kP4;
    }
    for (; left > 0; --left, ++p) {
        h = rotateLeft(h ^ (*p * kP5), 11) * kP1;
    }
    return mixDown(h);
}

uint64_t fingerprintOf(const uint8_t* bytes, size_t count) {
    Fingerprint print;
    startFingerprint(print);
    feedFingerprint(print, bytes, count);
    return finishFingerprint(print);
}

uint64_t saltedPrint(const uint64_t (&salt)[2], uint64_t raw) {
    return mixDown(mixDown(raw ^ salt[0]) + salt[1]);
}
