// Any bytes as a key file: scanning them in fuzzer-chosen portions gives the counts of the byte
// rules applied in one pass, and the score stays within what the grade and bonuses allow.
#include <cstring>
#include <vector>

#include "keys/analyser.h"
#include "support/literal_scan.h"

namespace {

bool sameStats(const KeyStats& a, const KeyStats& b) {
    return a.zeroPairs == b.zeroPairs && a.repeats == b.repeats && a.balance == b.balance &&
           a.previous == b.previous;
}

struct Source {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
};

int64_t readSource(void* context, uint8_t* buffer, uint32_t count) {
    auto* s = static_cast<Source*>(context);
    size_t n = count < s->size - s->pos ? count : s->size - s->pos;
    std::memcpy(buffer, s->bytes + s->pos, n);
    s->pos += n;
    return int64_t(n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) {
        return 0;
    }
    uint32_t inputSize;
    std::memcpy(&inputSize, data, 4);
    uint32_t chunkSize = 1 + data[4] % 64;
    const uint8_t* key = data + 5;
    size_t keySize = size - 5;

    KeyStats expected{0, 0, 0, 1};
    literalScan(expected, key, keySize);

    KeyStats once = freshKeyStats();
    scanKeyBytes(once, key, keySize);

    // Portions whose lengths follow the key's own bytes, zero-length ones included.
    KeyStats cut = freshKeyStats();
    for (size_t at = 0, k = 0; at < keySize; ++k) {
        size_t length = key[k % keySize] % 19;
        if (length == 0) {
            scanKeyBytes(cut, key + at, 0);
            length = 1;
        }
        if (length > keySize - at) {
            length = keySize - at;
        }
        scanKeyBytes(cut, key + at, length);
        at += length;
    }

    std::vector<uint8_t> buffer(chunkSize + 50);
    Source source{key, keySize, 0};
    KeyAnalysis analysis =
        analyseKeyStream(uint32_t(keySize), inputSize, chunkSize, buffer.data(), readSource, &source);

    if (!sameStats(once, expected) || !sameStats(cut, expected) ||
        analysis.outcome != AnalyseOutcome::Rated || !sameStats(analysis.stats, expected)) {
        __builtin_trap();
    }
    // At most the best grade with the three largest bonuses, and the verdict of that score; a key
    // of one byte value throughout (unless one byte for one byte) no better than very bad.
    uint32_t score = keyScore(expected, uint32_t(keySize), inputSize);
    bool oneValue = true;
    for (size_t i = 1; i < keySize; ++i) {
        oneValue = oneValue && key[i] == key[0];
    }
    const KeyVerdict verdict =
        oneValue && (keySize > 1 || inputSize > 1) ? VerdictVeryBad : verdictFor(score);
    if (score != analysis.score || score > 160 + 3 * 40 || analysis.text != verdictText(verdict)) {
        __builtin_trap();
    }
    return 0;
}
