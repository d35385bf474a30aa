#include "keys/keyverdict.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/xorpass.h"
#include "text/text.h"

namespace {

// The bytes of a key that the verdict tests: all of a key up to kWholeSample, else its first
// kWholeSample bytes and kWindows windows spread over the rest. A sample keeps a 1 GiB key from
// being read twice before the job reads it once more; structure that covers more than a window's
// share of the key still shows in the byte frequencies, and a window that repeats bytes tested
// before it shows as a repeat.
constexpr uint64_t kWholeSample = 16u << 20;
constexpr uint32_t kWindows = 64;
constexpr uint32_t kWindowBytes = 64 * 1024;
// Read in portions that stay in the processor's cache while they are tested.
constexpr uint32_t kPortion = 256 * 1024;

// A cyclic-polynomial rolling hash over kAnchorBytes: one rotation and two table lookups a byte,
// with no multiplication on the chain from one byte to the next.
struct RollingTables {
    uint64_t in[256];
    uint64_t out[256]; // a byte's part once it is kAnchorBytes positions old
};
constexpr RollingTables makeRollingTables() {
    RollingTables t{};
    uint64_t seed = 0x6A09E667F3BCC909ull;
    for (int i = 0; i < 256; ++i) {
        seed += 0x9E3779B97F4A7C15ull; // splitmix64
        uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        t.in[i] = z ^ (z >> 31);
        t.out[i] = (t.in[i] << (kAnchorBytes % 64)) | (t.in[i] >> ((64 - kAnchorBytes % 64) % 64));
    }
    return t;
}
constexpr RollingTables kRolling = makeRollingTables();
// One bit a bucket, few enough to stay in the processor's first cache.
constexpr unsigned kFilterBits = 20;

uint64_t rotate1(uint64_t h) {
    return (h << 1) | (h >> 63);
}

uint32_t slotOf(const KeyEvidenceGatherer& g, uint64_t hash) {
    return uint32_t(hash >> 7) & uint32_t(g.table.size() - 1);
}

void insertAnchor(KeyEvidenceGatherer& g, uint32_t index) {
    uint32_t slot = slotOf(g, g.anchorHashes[index]);
    while (g.table[slot] != 0) {
        slot = (slot + 1) & uint32_t(g.table.size() - 1);
    }
    g.table[slot] = index + 1;
}

// The kAnchorBytes bytes of the stretch that end with bytes[i]: the stretch's last bytes before
// this portion (g.tail, oldest first), then the portion.
void windowEndingAt(const KeyEvidenceGatherer& g, const uint8_t* bytes, size_t i,
                    uint8_t (&window)[kAnchorBytes]) {
    for (uint32_t k = 0; k < kAnchorBytes; ++k) {
        const size_t at = i + 1 + k; // in the tail followed by the portion
        window[k] = at < kAnchorBytes ? g.tail[at] : bytes[at - kAnchorBytes];
    }
}

void addAnchor(KeyEvidenceGatherer& g, uint64_t hash, uint64_t offset,
               const uint8_t (&window)[kAnchorBytes]) {
    if ((g.anchorHashes.size() + 1) * 2 > g.table.size()) {
        g.table.assign(g.table.empty() ? 1024 : g.table.size() * 2, 0);
        for (uint32_t i = 0; i < g.anchorHashes.size(); ++i) {
            insertAnchor(g, i);
        }
    }
    g.anchorHashes.push_back(hash);
    g.anchorOffsets.push_back(offset);
    g.anchorBytes.insert(g.anchorBytes.end(), window, window + kAnchorBytes);
    insertAnchor(g, uint32_t(g.anchorHashes.size() - 1));
    const uint64_t bucket = hash >> (64 - kFilterBits);
    g.filter[bucket >> 6] |= 1ull << (bucket & 63);
}

// The window that ends at the last byte fed, against the anchors taken so far.
void lookForAnchor(KeyEvidenceGatherer& g, uint64_t hash, uint64_t offset,
                   const uint8_t (&window)[kAnchorBytes]) {
    for (uint32_t slot = slotOf(g, hash); g.table[slot] != 0;
         slot = (slot + 1) & uint32_t(g.table.size() - 1)) {
        const uint32_t index = g.table[slot] - 1;
        if (g.anchorHashes[index] == hash && g.anchorOffsets[index] != offset &&
            std::memcmp(&g.anchorBytes[size_t(index) * kAnchorBytes], window, kAnchorBytes) == 0) {
            g.repeatFound = true;
            g.repeatOf = g.anchorOffsets[index];
            g.repeatAt = offset;
            return;
        }
    }
}

// The hash and the length live in locals, and each byte leaving the window is read back from the
// portion itself (or the tail of the one before): the inner loop stores nothing, so nothing it
// keeps has to be read again.
void feedRepeats(KeyEvidenceGatherer& g, uint64_t offset, const uint8_t* bytes, size_t count) {
    if (offset != g.stretchEnd) {
        g.stretchLength = 0; // a window of its own: nothing rolls over from the bytes before it
        g.hash = 0;
    }
    g.stretchEnd = offset + count;
    uint64_t hash = g.hash;
    const uint64_t before = g.stretchLength;
    const uint64_t* filter = g.filter.data();
    for (size_t i = 0; i < count; ++i) {
        const uint64_t length = before + i; // bytes of the stretch before this one
        const uint64_t leaving = length >= kAnchorBytes
                                     ? kRolling.out[i >= kAnchorBytes ? bytes[i - kAnchorBytes] : g.tail[i]]
                                     : 0;
        hash = rotate1(hash) ^ kRolling.in[bytes[i]] ^ leaving;
        if (length + 1 < kAnchorBytes) {
            continue;
        }
        const uint64_t start = offset + i + 1 - kAnchorBytes;
        const uint64_t bucket = hash >> (64 - kFilterBits);
        const bool maybe = (filter[bucket >> 6] >> (bucket & 63)) & 1;
        if (maybe || start % kAnchorSpacing == 0) {
            uint8_t window[kAnchorBytes];
            windowEndingAt(g, bytes, i, window);
            if (maybe) {
                lookForAnchor(g, hash, start, window);
                if (g.repeatFound) {
                    return;
                }
            }
            if (start % kAnchorSpacing == 0) {
                addAnchor(g, hash, start, window);
                filter = g.filter.data();
            }
        }
    }
    g.hash = hash;
    g.stretchLength = before + count;
    // The tail for the next portion: the last kAnchorBytes bytes of the stretch, oldest first.
    uint8_t tail[kAnchorBytes];
    for (uint32_t k = 0; k < kAnchorBytes; ++k) {
        const size_t at = count + k;
        tail[k] = at < kAnchorBytes ? g.tail[at] : bytes[at - kAnchorBytes];
    }
    std::memcpy(g.tail, tail, kAnchorBytes);
}

std::string withUnit(uint64_t n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

std::string everyBytes(uint64_t period) {
    return period == 1 ? "every byte" : "every " + std::to_string(period) + " bytes";
}

std::string hexByte(uint8_t value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", unsigned(value));
    return hex;
}

// Up to `count` bytes of the file from `at`; false when they cannot all be read.
bool readRange(const FileLayer& files, FileRef f, uint64_t at, uint64_t count, uint8_t* buffer,
               KeyEvidenceGatherer* gatherer, std::vector<uint8_t>* head) {
    if (!files.seek(files.context, f, at)) {
        return false;
    }
    while (count > 0) {
        uint32_t n = count < kPortion ? uint32_t(count) : kPortion;
        if (files.read(files.context, f, buffer, n) != int64_t(n)) {
            return false;
        }
        if (head && head->size() < kRelationBytes) {
            size_t take = kRelationBytes - head->size() < n ? kRelationBytes - head->size() : n;
            head->insert(head->end(), buffer, buffer + take);
        }
        if (gatherer) {
            feedKeyEvidence(*gatherer, at, buffer, n);
        }
        at += n;
        count -= n;
    }
    return true;
}

// Samples the first `used` bytes of the key file and takes the data's head beside the key's.
bool sampleKey(const JobRequest& request, const FileLayer& files, uint64_t used, uint64_t payload,
               KeyEvidenceGatherer& gatherer, std::vector<uint8_t>& keyHead, std::vector<uint8_t>& dataHead) {
    FileRef key = files.openRead(files.context, request.keyPath);
    if (key == kNoFile) {
        return false;
    }
    auto* buffer = static_cast<uint8_t*>(files.takeMemory(files.context, kPortion));
    bool read = buffer != nullptr && readRange(files, key, 0, used < kWholeSample ? used : kWholeSample,
                                               buffer, &gatherer, &keyHead);
    if (read && used > kWholeSample + kWindowBytes) {
        const uint64_t span = used - kWholeSample - kWindowBytes;
        for (uint32_t w = 0; read && w < kWindows; ++w) {
            read = readRange(files, key, kWholeSample + span * w / (kWindows - 1), kWindowBytes, buffer,
                             &gatherer, nullptr);
        }
    }
    files.close(files.context, key);
    FileRef input = read ? files.openRead(files.context, request.inputPath) : kNoFile;
    if (input != kNoFile) {
        const uint64_t n = payload < kRelationBytes ? payload : kRelationBytes;
        // A data head that cannot be read only leaves the relations untested.
        if (!readRange(files, input, 0, n, buffer, nullptr, &dataHead)) {
            dataHead.clear();
        }
        files.close(files.context, input);
    }
    if (buffer) {
        files.releaseMemory(files.context, buffer);
    }
    return read;
}

std::string padVerdict(const KeyJudgement& v) {
    const KeyRelationFound& r = v.relation;
    const std::string notEncryption = ". Not encryption at all.";
    switch (r.relation) {
    case KeyRelation::OutputConstant:
        if (r.outputByte == 0) {
            return "a key file that holds the input's own bytes: the output would be all zeros" +
                   notEncryption;
        }
        return "a key file that is the data itself XORed with the one byte " + hexByte(r.outputByte) +
               ": whoever has the key file has the data, and the output would be " + hexByte(r.outputByte) +
               " throughout" + notEncryption;
    case KeyRelation::OutputPeriodic:
        return "a key file that is the data itself XORed with a pattern of " +
               withUnit(r.outputPeriod, "byte") +
               ": whoever has the key file has the data, and the output would repeat " +
               everyBytes(r.outputPeriod) + notEncryption;
    case KeyRelation::DataShifted:
        return "a key file that holds the data itself, shifted by " +
               withUnit(uint64_t(r.shift < 0 ? -int64_t(r.shift) : r.shift), "byte") +
               ": the output would be the data XORed with itself, and a few known bytes give back the rest" +
               notEncryption;
    case KeyRelation::KnownOutput:
    case KeyRelation::None:
        break;
    }
    const KeyEvidence& e = v.evidence;
    const std::string notRandom = "a key file as long as the data but not random: ";
    switch (e.outcome) {
    case KeyEvidenceOutcome::Constant:
        return notRandom + "all its bytes are " + hexByte(e.constantByte) +
               ", so the output shows the data. Not a one-time pad.";
    case KeyEvidenceOutcome::Periodic:
        return notRandom + "it repeats " + everyBytes(e.period) +
               ", so a few known bytes of the file expose the rest. Not a one-time pad.";
    case KeyEvidenceOutcome::Repeats:
        return notRandom + "the " + std::to_string(kAnchorBytes) + " bytes at offset " +
               std::to_string(e.repeatOf) + " occur again at offset " + std::to_string(e.repeatAt) +
               ", so known bytes at one place expose the other. Not a one-time pad.";
    case KeyEvidenceOutcome::Uneven:
        return notRandom + "its byte values are unevenly spread (chi-square " +
               std::to_string(uint64_t(e.chiSquare)) +
               " over 256 values, where a random key stays below 377), so its patterns show through. Not a "
               "one-time pad.";
    case KeyEvidenceOutcome::TooShort:
    case KeyEvidenceOutcome::Passed:
        break;
    }
    // What the ledger knows is certain; a key too short to test only lacks evidence.
    if (v.ledger.keyIsOutput) {
        return std::string(
                   "a key file that is the output of an earlier encryption on this computer (recorded "
                   "on ") +
               v.ledger.keyIsOutputDate +
               "): XOR that output with this one and this data drops out. Not a one-time pad.";
    }
    if (v.ledger.usedBefore) {
        return "a key file that the key-use ledger knows as used by another job on this computer: not a "
               "one-time pad any more.";
    }
    if (e.outcome == KeyEvidenceOutcome::TooShort) {
        return "a key file as long as the data, but at " + withUnit(e.tested, "byte") +
               " too short for a test of its bytes to mean anything: nothing here shows that it is random.";
    }
    std::string line =
        "a one-time pad (a key file as long as the data; among the " + withUnit(e.tested, "byte") +
        " of it tested no stretch of " + std::to_string(kRepeatStretch) +
        " bytes occurs twice, and the byte values are evenly spread): unbreakable only if it is "
        "truly random, kept secret, and used for this one file alone.";
    if (v.ledger.asked) {
        line += v.ledger.consulted
                    ? " The key-use ledger knows of no other file it encrypted on this computer."
                    : " Whether it encrypted another file before could not be checked: the "
                      "key-use ledger could not be consulted.";
    }
    return line;
}

} // namespace

void beginKeyEvidence(KeyEvidenceGatherer& gatherer) {
    std::memset(gatherer.counts, 0, sizeof gatherer.counts);
    gatherer.tested = 0;
    gatherer.head.clear();
    gatherer.stretchEnd = ~0ull;
    gatherer.stretchLength = 0;
    gatherer.hash = 0;
    std::memset(gatherer.tail, 0, sizeof gatherer.tail);
    gatherer.anchorBytes.clear();
    gatherer.anchorOffsets.clear();
    gatherer.anchorHashes.clear();
    gatherer.table.assign(1024, 0);
    gatherer.filter.assign((size_t(1) << kFilterBits) / 64, 0);
    gatherer.repeatFound = false;
    gatherer.repeatOf = gatherer.repeatAt = 0;
}

void feedKeyEvidence(KeyEvidenceGatherer& gatherer, uint64_t offset, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        ++gatherer.counts[bytes[i]];
    }
    gatherer.tested += count;
    size_t room = kEvidenceHeadBytes - gatherer.head.size();
    gatherer.head.insert(gatherer.head.end(), bytes, bytes + (count < room ? count : room));
    if (!gatherer.repeatFound) {
        feedRepeats(gatherer, offset, bytes, count);
    }
}

size_t shortestPeriod(const uint8_t* bytes, size_t n) {
    if (n == 0) {
        return 0;
    }
    // The longest proper border of every prefix (Knuth-Morris-Pratt): n less the border of the
    // whole is the shortest period.
    std::vector<uint32_t> border(n, 0);
    for (size_t i = 1, k = 0; i < n; ++i) {
        while (k > 0 && bytes[i] != bytes[k]) {
            k = border[k - 1];
        }
        if (bytes[i] == bytes[k]) {
            ++k;
        }
        border[i] = uint32_t(k);
    }
    return n - border[n - 1];
}

size_t keyStreamPeriod(const uint8_t* key, size_t n) {
    size_t period = shortestPeriod(key, n);
    return period != 0 && n % period == 0 ? period : n;
}

KeyEvidence finishKeyEvidence(const KeyEvidenceGatherer& gatherer) {
    KeyEvidence evidence{};
    evidence.tested = gatherer.tested;
    const uint64_t n = gatherer.tested;
    for (uint32_t value = 0; value < 256; ++value) {
        if (n > 0 && gatherer.counts[value] == n) {
            evidence.outcome = KeyEvidenceOutcome::Constant;
            evidence.constantByte = uint8_t(value);
            return evidence;
        }
    }
    const size_t head = gatherer.head.size();
    size_t period = shortestPeriod(gatherer.head.data(), head);
    if (head >= 2 && period <= head / 2) {
        evidence.outcome = KeyEvidenceOutcome::Periodic;
        evidence.period = uint32_t(period);
        return evidence;
    }
    if (n < kEvidenceMinimumBytes) {
        evidence.outcome = KeyEvidenceOutcome::TooShort;
        return evidence;
    }
    const double expected = double(n) / 256.0;
    double chiSquare = 0;
    for (uint64_t count : gatherer.counts) {
        double d = double(count) - expected;
        chiSquare += d * d / expected;
    }
    evidence.chiSquare = chiSquare;
    if (chiSquare > kChiSquareLimit) {
        evidence.outcome = KeyEvidenceOutcome::Uneven;
    } else if (gatherer.repeatFound) {
        evidence.outcome = KeyEvidenceOutcome::Repeats;
        evidence.repeatOf = gatherer.repeatOf;
        evidence.repeatAt = gatherer.repeatAt;
    } else {
        evidence.outcome = KeyEvidenceOutcome::Passed;
    }
    return evidence;
}

KeyRelationFound relateKeyToData(const uint8_t* key, const uint8_t* data, size_t n) {
    KeyRelationFound found{};
    // Below this a short period or a match would come by chance too often to be said.
    constexpr size_t kFewest = 16;
    if (n < kFewest) {
        return found;
    }
    std::vector<uint8_t> output(n);
    for (size_t i = 0; i < n; ++i) {
        output[i] = key[i] ^ data[i];
    }
    size_t period = shortestPeriod(output.data(), n);
    if (period <= n / 2) {
        found.relation = period == 1 ? KeyRelation::OutputConstant : KeyRelation::OutputPeriodic;
        found.outputByte = output[0];
        found.outputPeriod = uint32_t(period);
        return found;
    }
    // The key's byte i against the data's byte i + s, and the other way round: nine in ten
    // alike is no chance between two files, yet forgives a few edited bytes.
    auto alike = [&](size_t s, bool keyAhead, size_t count) {
        size_t same = 0;
        for (size_t i = 0; i < count; ++i) {
            same += keyAhead ? key[i + s] == data[i] : key[i] == data[i + s];
        }
        return same * 10 >= count * 9;
    };
    const size_t largest = n / 2 < kLargestShift ? n / 2 : kLargestShift;
    for (size_t s = 1; s <= largest; ++s) {
        for (bool keyAhead : {false, true}) {
            const size_t count = n - s;
            if (alike(s, keyAhead, count < 256 ? count : 256) && alike(s, keyAhead, count)) {
                found.relation = KeyRelation::DataShifted;
                found.shift = keyAhead ? -int32_t(s) : int32_t(s);
                return found;
            }
        }
    }
    return found;
}

KeyJudgement judgeKey(const JobRequest& request, const FileLayer& files, uint64_t payload,
                      const KeyLedgerFacts& ledger) {
    KeyJudgement v{};
    v.payload = payload;
    v.ledger = ledger;
    if (request.keyKind == KeyKind::Text) {
        uint8_t key[kTextCapacity * 2], defaultKey[64];
        uint32_t n = expandKeyString(request.keyText, key, sizeof key);
        uint32_t d = expandKeyString("", defaultKey, sizeof defaultKey);
        v.kind = n == d && std::memcmp(key, defaultKey, n) == 0 ? JudgementKind::PublicKey
                                                                : JudgementKind::RepeatingString;
        v.period = uint32_t(keyStreamPeriod(key, n));
        return v;
    }
    v.keyBytes = request.keyBytes < payload ? request.keyBytes : payload;
    // A short key is tested too: one of zeros leaves the data as it is whatever its length.
    KeyEvidenceGatherer gatherer;
    beginKeyEvidence(gatherer);
    std::vector<uint8_t> keyHead, dataHead;
    if (!sampleKey(request, files, v.keyBytes, payload, gatherer, keyHead, dataHead)) {
        v.kind = request.keyBytes < payload ? JudgementKind::ShortKeyFile : JudgementKind::Unread;
        return v;
    }
    v.kind = request.keyBytes < payload ? JudgementKind::ShortKeyFile : JudgementKind::Pad;
    v.evidence = finishKeyEvidence(gatherer);
    const size_t n = keyHead.size() < dataHead.size() ? keyHead.size() : dataHead.size();
    v.relation = relateKeyToData(keyHead.data(), dataHead.data(), n);
    return v;
}

bool judgementIsPad(const KeyJudgement& v) {
    return v.kind == JudgementKind::Pad && v.relation.relation == KeyRelation::None &&
           !v.ledger.keyIsOutput && !v.ledger.usedBefore && v.evidence.outcome == KeyEvidenceOutcome::Passed;
}

bool judgementShowsData(const KeyJudgement& v) {
    // A typed key string is a password, weak or strong, that scripts and earlier files rely on: its
    // verdict says what it is worth, and it is not asked about.
    switch (v.kind) {
    case JudgementKind::ShortKeyFile:
    case JudgementKind::Pad:
        return v.relation.relation != KeyRelation::None ||
               v.evidence.outcome == KeyEvidenceOutcome::Constant || v.ledger.keyIsOutput;
    case JudgementKind::PublicKey:
    case JudgementKind::RepeatingString:
    case JudgementKind::Unread:
        break;
    }
    return false;
}

namespace {

// Why the output would show the data, as the middle of a sentence.
std::string showsDataReason(const KeyJudgement& v) {
    if (v.relation.relation == KeyRelation::None && v.evidence.outcome == KeyEvidenceOutcome::Constant) {
        return v.evidence.constantByte == 0
                   ? std::string(
                         "every byte of the key file is 0x00, so the output would be the file itself, "
                         "byte for byte.")
                   : "every byte of the key file is " + hexByte(v.evidence.constantByte) +
                         ", so each byte of the file is changed in the same way, which anyone can undo.";
    }
    return "it is " + padVerdict(v);
}

} // namespace

void composeShowsDataQuestion(const KeyJudgement& v, char* out, size_t capacity) {
    const std::string text = "This key would leave the file readable: " + showsDataReason(v) +
                             " Encrypt with it only if the output need not be secret.";
    if (capacity > 0) {
        out[0] = '\0';
        appendCutText(out, capacity, text.c_str());
    }
}

void composeKeyJudgement(const KeyJudgement& v, char* out, size_t capacity) {
    std::string line;
    switch (v.kind) {
    case JudgementKind::PublicKey:
        line = "the public default key: anyone with Nimbrel can read this file. Not encryption at all.";
        break;
    case JudgementKind::RepeatingString:
        line = "a repeating key: it repeats " + everyBytes(v.period) +
               ", so a few known bytes of the file expose the rest. A key string is never a one-time pad.";
        break;
    case JudgementKind::ShortKeyFile:
        if (judgementShowsData(v)) {
            line = "a key that would leave the file readable: " + showsDataReason(v);
            break;
        }
        line = "a repeating key of " + withUnit(v.keyBytes, "byte") + " for " + withUnit(v.payload, "byte") +
               " of data: it repeats every " + std::to_string(v.keyBytes) +
               " bytes, so a few known bytes of the file expose the rest. A one-time pad needs a key file at "
               "least as long as the data.";
        break;
    case JudgementKind::Unread:
        break; // the job itself says what is wrong with the key
    case JudgementKind::Pad:
        line = padVerdict(v);
        break;
    }
    if (capacity > 0) {
        out[0] = '\0';
        appendCutText(out, capacity, line.c_str());
    }
}
