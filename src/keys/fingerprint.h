// A fast 64-bit fingerprint of a byte sequence fed in pieces of any size: fast enough to run
// beside a job's own pass in both builds. Not a cryptographic hash: whoever can guess every input
// byte can compute it, so it names only what includes secret bytes (a key's) or what is no secret
// (a job's output).
#pragma once

#include <cstddef>
#include <cstdint>

struct Fingerprint {
    uint32_t lanes[8];
    uint64_t total;
    uint8_t tail[32];
    uint32_t tailLength;
};
void startFingerprint(Fingerprint& print);
void feedFingerprint(Fingerprint& print, const uint8_t* bytes, size_t count);
uint64_t finishFingerprint(const Fingerprint& print);

// The fingerprint of one piece.
uint64_t fingerprintOf(const uint8_t* bytes, size_t count);

// A fingerprint brought under a 128-bit salt: the same bytes give another value in each ledger.
uint64_t saltedPrint(const uint64_t (&salt)[2], uint64_t raw);
