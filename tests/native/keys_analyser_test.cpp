#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "keys/analyser.h"
#include "support/literal_scan.h"

namespace {

using Bytes = std::vector<uint8_t>;

KeyStats scannedLiterally(const Bytes& bytes, KeyStats stats) {
    literalScan(stats, bytes.data(), bytes.size());
    return stats;
}

void expectSameStats(const KeyStats& actual, const KeyStats& expected, const char* what) {
    EXPECT_EQ(actual.zeroPairs, expected.zeroPairs) << what;
    EXPECT_EQ(actual.repeats, expected.repeats) << what;
    EXPECT_EQ(actual.balance, expected.balance) << what;
    EXPECT_EQ(actual.previous, expected.previous) << what;
}

// A key file in memory, read the way the program reads one: the requested count at a time.
struct MemoryKeyFile {
    explicit MemoryKeyFile(Bytes content = {}) : bytes(std::move(content)) {}

    Bytes bytes;
    size_t pos = 0;
    std::vector<uint32_t> requests;
    size_t failAtRead = SIZE_MAX; // the read (0-based) that fails
    bool shortRead = false;       // that read delivers one byte less instead of failing

    static int64_t read(void* context, uint8_t* buffer, uint32_t count) {
        auto* f = static_cast<MemoryKeyFile*>(context);
        size_t index = f->requests.size();
        f->requests.push_back(count);
        if (index == f->failAtRead) {
            if (!f->shortRead) {
                return -1;
            }
            count = count > 0 ? count - 1 : 0;
        }
        size_t n = std::min<size_t>(count, f->bytes.size() - f->pos);
        std::memcpy(buffer, f->bytes.data() + f->pos, n);
        f->pos += n;
        return int64_t(n);
    }
};

KeyAnalysis analyse(MemoryKeyFile& file, uint32_t inputSize, uint32_t chunkSize) {
    std::vector<uint8_t> buffer(chunkSize + 50);
    return analyseKeyStream(uint32_t(file.bytes.size()), inputSize, chunkSize, buffer.data(),
                            MemoryKeyFile::read, &file);
}

TEST(KeyScan, CountsPairsRepeatsAndBalanceFromPreviousByteOne) {
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t zeroPairs, repeats;
        int32_t balance;
    } cases[] = {
        {"first byte 1 repeats the starting previous byte", {1}, 0, 1, -1},
        {"first byte 0 makes no zero pair", {0}, 0, 0, -1},
        {"two zeros make one pair", {0, 0}, 1, 0, -2},
        {"a run of zeros makes one pair less than its length", {0, 0, 0, 0}, 3, 0, -4},
        {"equal high bytes are repeats", {200, 200, 200}, 0, 2, 3},
        {"127 is low, 128 is high", {127, 128}, 0, 0, 0},
        {"alternating bytes repeat nothing", {0, 1, 0, 1, 0}, 0, 0, -5},
        {"zero then one then one", {0, 1, 1}, 0, 1, -3},
        {"255 then 255 then 0 then 0", {255, 255, 0, 0}, 1, 1, 0},
        {"nothing", {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        KeyStats stats = freshKeyStats();
        scanKeyBytes(stats, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(stats.zeroPairs, c.zeroPairs) << c.what;
        EXPECT_EQ(stats.repeats, c.repeats) << c.what;
        EXPECT_EQ(stats.balance, c.balance) << c.what;
        expectSameStats(stats, scannedLiterally(c.bytes, freshKeyStats()), c.what);
    }
}

TEST(KeyScan, WideStepsMatchTheByteRulesForEveryLengthAndContent) {
    // Byte alphabets that make pairs and repeats common, at every length around the step width,
    // scanned from every starting previous byte class.
    std::mt19937 random(12345);
    const Bytes alphabets[] = {{0}, {0, 1}, {0, 128}, {7, 7, 200}, {0, 0, 0, 255}, {127, 128, 129, 0, 1}};
    const uint8_t startingPrevious[] = {1, 0, 200};
    for (const Bytes& alphabet : alphabets) {
        for (size_t length = 0; length <= 70; ++length) {
            for (uint8_t previous : startingPrevious) {
                Bytes bytes(length);
                for (uint8_t& b : bytes) {
                    b = alphabet[random() % alphabet.size()];
                }
                KeyStats start = freshKeyStats();
                start.previous = previous;
                start.zeroPairs = 5;
                start.repeats = 9;
                start.balance = -3;
                KeyStats stats = start;
                scanKeyBytes(stats, bytes.data(), bytes.size());
                KeyStats expected = scannedLiterally(bytes, start);
                ASSERT_EQ(stats.zeroPairs, expected.zeroPairs) << length;
                ASSERT_EQ(stats.repeats, expected.repeats) << length;
                ASSERT_EQ(stats.balance, expected.balance) << length;
                ASSERT_EQ(stats.previous, expected.previous) << length;
            }
        }
    }
    Bytes noise(100003);
    for (uint8_t& b : noise) {
        b = uint8_t(random());
    }
    // Runs long enough that a count kept per byte position would pass 255 unless summed in time.
    std::fill(noise.begin() + 1000, noise.begin() + 11000, uint8_t(0));
    std::fill(noise.begin() + 20000, noise.begin() + 30000, uint8_t(0xFF));
    KeyStats stats = freshKeyStats();
    scanKeyBytes(stats, noise.data(), noise.size());
    expectSameStats(stats, scannedLiterally(noise, freshKeyStats()), "random bytes with long runs");
}

TEST(KeyScan, AnyChunkingGivesTheCountsOfOnePass) {
    Bytes bytes = {1, 2, 3, 0, 0, 5, 6, 6, 0, 0, 0, 200, 200, 9, 0};
    KeyStats whole = scannedLiterally(bytes, freshKeyStats());
    for (uint32_t chunk = 1; chunk <= bytes.size() + 1; ++chunk) {
        MemoryKeyFile file{bytes};
        KeyAnalysis analysis = analyse(file, 0, chunk);
        ASSERT_EQ(analysis.outcome, AnalyseOutcome::Rated) << chunk;
        expectSameStats(analysis.stats, whole, "chunked");
        size_t total = 0;
        for (uint32_t request : file.requests) {
            EXPECT_LE(request, chunk);
            total += request;
        }
        EXPECT_EQ(total, bytes.size()) << "chunk " << chunk;
    }
}

TEST(KeyScan, ZeroPairAcrossAChunkEdgeCountsOnce) {
    // A zero ends the first 4-byte chunk and another starts the second.
    MemoryKeyFile file{{9, 8, 7, 0, 0, 6, 5, 4}};
    KeyAnalysis analysis = analyse(file, 0, 4);
    EXPECT_EQ(analysis.stats.zeroPairs, 1u);
    EXPECT_EQ(analysis.stats.repeats, 0u);
    EXPECT_EQ(file.requests, (std::vector<uint32_t>{4, 4}));

    MemoryKeyFile repeatEdge{{9, 8, 7, 6, 6, 5, 4}};
    EXPECT_EQ(analyse(repeatEdge, 0, 4).stats.repeats, 1u);
}

TEST(KeySizeGrade, WeighsTheKeyAgainstTheInput) {
    struct Case {
        uint32_t keySize, inputSize, grade;
    } cases[] = {
        {1000, 1000, 150},
        {1001, 1000, 160},
        {1, 0, 160},
        {0xFFFFFFFFu, 0, 160},
        {250, 1000, 150},
        {249, 1000, 100},
        {62, 1000, 100},
        {61, 1000, 50},
        {1, 1000, 50},
        {1, 1, 150},
        {1, 7, 150},
        {1, 8, 100},
        {1, 16, 100},
        {1, 31, 100},
        {1, 32, 50},
        {100000, 50000, 160},
        {4096, 1000, 160},
        {0, 0, 150},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 150},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sizeGrade(c.keySize, c.inputSize), c.grade) << c.keySize << " vs " << c.inputSize;
    }
}

TEST(KeyTest, GivesBonusesBelowTheLimitAndCappedPenaltiesAbove) {
    struct Case {
        const char* what;
        uint32_t score, limit, count, cap, expected;
    } cases[] = {
        {"at least half the limit", 100, 97, 48, 40, 120},
        {"just below the limit", 100, 97, 96, 40, 120},
        {"just below half", 100, 97, 47, 40, 130},
        {"at a quarter", 100, 97, 24, 40, 130},
        {"below a quarter", 100, 97, 23, 40, 140},
        {"none at all", 100, 97, 0, 40, 140},
        {"at the limit", 100, 97, 97, 40, 100},
        {"63 over", 100, 97, 160, 40, 100},
        {"64 over", 100, 97, 161, 40, 99},
        {"penalty at its cap", 100, 16, 4095, 40, 60},
        {"penalty over its cap", 100, 16, 100000, 30, 70},
        {"limit 0, count 0", 150, 0, 0, 40, 150},
        {"limit 0, count 63", 150, 0, 63, 40, 150},
        {"limit 0, count 64", 150, 0, 64, 40, 149},
        {"penalty larger than the score", 10, 0, 6400, 40, 0},
        {"penalty equal to the score", 30, 0, 64 * 30, 40, 0},
        {"no score left", 0, 0, 0xFFFFFFFFu, 40, 0},
        {"limit 1", 50, 1, 0, 40, 70},
        {"limit 4, count 1", 50, 4, 1, 40, 80},
        {"limit 2, count 1", 50, 2, 1, 40, 70},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(applyKeyTest(c.score, c.limit, c.count, c.cap), c.expected) << c.what;
    }
}

TEST(KeyBalance, MagnitudeFollowsThe2To30Rule) {
    struct Case {
        int32_t balance;
        uint32_t magnitude;
    } cases[] = {
        {0, 0},
        {-500, 500},
        {500, 500},
        {-1, 1},
        {0x40000000, 0x40000000u},
        // Above 2^30 read unsigned, so taken for a negative value.
        {0x40000001, 0xBFFFFFFFu},
        {INT32_MAX, 0x80000001u},
        {INT32_MIN, 0x80000000u},
        {-0x3FFFFFFF, 0x3FFFFFFFu},
        {-0x40000000, 0x40000000u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(balanceMagnitude(c.balance), c.magnitude) << c.balance;
    }
}

TEST(KeyVerdict, ScoreBandsChooseTheTexts) {
    struct Case {
        uint32_t score;
        KeyVerdict verdict;
        const char* text;
    } cases[] = {
        {0, VerdictVeryBad, kVeryBadKeyFileText},
        {69, VerdictVeryBad, kVeryBadKeyFileText},
        {70, VerdictBad, kBadKeyFileText},
        {104, VerdictBad, kBadKeyFileText},
        {105, VerdictOk, kOkKeyFileText},
        {144, VerdictOk, kOkKeyFileText},
        {145, VerdictGood, kGoodKeyFileText},
        {199, VerdictGood, kGoodKeyFileText},
        {200, VerdictExcellent, kExcellentKeyFileText},
        {280, VerdictExcellent, kExcellentKeyFileText},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(verdictFor(c.score), c.verdict) << c.score;
        EXPECT_STREQ(verdictText(verdictFor(c.score)), c.text) << c.score;
    }
    EXPECT_STREQ(kOkKeyFileText, "This file is OK to be used as a keyfile.");
    EXPECT_STREQ(kCannotOpenKeyFileText, "Cannot open Keyfile");
}

TEST(KeyScore, WorkedExampleIsExcellent) {
    KeyStats stats = freshKeyStats();
    stats.zeroPairs = 60;
    stats.repeats = 100;
    stats.balance = -500;
    EXPECT_EQ(keyScore(stats, 100000, 50000), 209u);
    EXPECT_EQ(verdictFor(209), VerdictExcellent);
}

// 100,000 bytes with exactly 60 zero pairs, 100 repeats and a balance of -500: a run of 61
// zeros, a run of 101 fives, then low and high bytes that never repeat their neighbour.
Bytes workedExampleKey() {
    Bytes key(61, 0);
    key.insert(key.end(), 101, 5);
    uint32_t lows = 50250 - 162, highs = 49750;
    bool toggle = false;
    while (lows > highs) {
        key.push_back(toggle ? 0x10 : 0x11);
        toggle = !toggle;
        --lows;
    }
    while (highs > 0) {
        key.push_back(0x90);
        key.push_back(0x10);
        --highs;
        --lows;
    }
    return key;
}

TEST(KeyAnalysisOfFiles, RatesWholeFilesAsTheEdgeCasesSay) {
    Bytes fourKZeros(4096, 0);
    Bytes withOther = fourKZeros;
    withOther[0] = 1;
    Bytes lowRuns(2048, 0);
    lowRuns.insert(lowRuns.end(), 2048, 0x7F);
    struct Case {
        const char* what;
        Bytes key;
        uint32_t inputSize;
        uint32_t chunkSize;
        uint32_t score;
        const char* text;
    } cases[] = {
        {"worked example", workedExampleKey(), 50000, 7000, 209, kExcellentKeyFileText},
        // Z 4,095 (penalty 40), R 0 (bonus 40), B -4,096 (penalty 30): a score of "OK", but one byte
        // value throughout hides nothing.
        {"4,096 zero bytes against 1,000", fourKZeros, 1000, 1000, 130, kVeryBadKeyFileText},
        {"4,096 zero bytes, one chunk", fourKZeros, 1000, kAnalyseChunkSize, 130, kVeryBadKeyFileText},
        {"4,096 zero bytes and one other", withOther, 1000, 1000, 130, kOkKeyFileText},
        {"ones throughout", Bytes(4096, 1), 1000, 1000, 140, kVeryBadKeyFileText},
        // Grade 50; the repeats take the remaining 19 and the balance nothing more.
        {"penalties stop at zero", lowRuns, 100000, 1000, 0, kVeryBadKeyFileText},
        {"one byte, no input", {0x80}, 0, 1, 160, kGoodKeyFileText},
        {"one byte as long as the input", {0x01}, 1, 1, 150, kGoodKeyFileText},
        {"one byte against a large input", {0x00}, 100, 1, 50, kVeryBadKeyFileText},
    };
    for (Case& c : cases) {
        MemoryKeyFile file{c.key};
        KeyAnalysis analysis = analyse(file, c.inputSize, c.chunkSize);
        EXPECT_EQ(analysis.outcome, AnalyseOutcome::Rated) << c.what;
        EXPECT_EQ(analysis.score, c.score) << c.what;
        EXPECT_STREQ(analysis.text, c.text) << c.what;
    }

    MemoryKeyFile example{workedExampleKey()};
    KeyAnalysis analysis = analyse(example, 50000, 4096);
    EXPECT_EQ(analysis.stats.zeroPairs, 60u);
    EXPECT_EQ(analysis.stats.repeats, 100u);
    EXPECT_EQ(analysis.stats.balance, -500);
}

TEST(KeyAnalysisOfFiles, KeySizeDecidesTheGradeAtTheInputSize) {
    // Alternating low and high bytes earn the same bonuses either way, so the grade shows.
    for (uint32_t extra = 0; extra <= 1; ++extra) {
        Bytes key(2048 + extra);
        for (size_t i = 0; i < key.size(); ++i) {
            key[i] = i % 2 ? 0x90 : 0x10;
        }
        MemoryKeyFile file{key};
        KeyAnalysis analysis = analyse(file, 2048, 512);
        EXPECT_EQ(analysis.score, (extra ? 160u : 150u) + 30 + 40 + 40) << extra;
    }
}

TEST(KeyAnalysisOfFiles, EmptyAndUnreadableFilesCannotBeOpened) {
    MemoryKeyFile empty{};
    KeyAnalysis analysis = analyse(empty, 100, 16);
    EXPECT_EQ(analysis.outcome, AnalyseOutcome::EmptyFile);
    EXPECT_STREQ(analysis.text, kCannotOpenKeyFileText);
    EXPECT_TRUE(empty.requests.empty());

    for (bool shortRead : {false, true}) {
        MemoryKeyFile broken{Bytes(100, 0x42)};
        broken.failAtRead = 2;
        broken.shortRead = shortRead;
        analysis = analyse(broken, 100, 16);
        EXPECT_EQ(analysis.outcome, AnalyseOutcome::ReadFailed) << shortRead;
        EXPECT_STREQ(analysis.text, kCannotOpenKeyFileText);
        EXPECT_EQ(broken.requests.size(), 3u) << "the scan stops at the failed read";
    }
}

} // namespace
