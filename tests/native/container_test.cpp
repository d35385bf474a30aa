#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/container.h"

namespace {

TEST(ContainerName, IsDecidedByTheLastFourBytesInAnyCase) {
    EXPECT_TRUE(isContainerName("report.qdx"));
    EXPECT_TRUE(isContainerName("D:\\REPORT.QDX"));
    EXPECT_TRUE(isContainerName(".qdx"));
    EXPECT_TRUE(isContainerName("a.QdX"));
    EXPECT_FALSE(isContainerName("report.qdx.txt"));
    EXPECT_FALSE(isContainerName("report.bin"));
    EXPECT_FALSE(isContainerName("qdx"));
    EXPECT_FALSE(isContainerName(""));
}

ContainerHeader sampleHeader(bool description, bool keyPath) {
    ContainerHeader h{};
    copyText("report.txt", h.plainName);
    h.hasDescription = description;
    copyText("Quarterly figures", h.description);
    h.hasKeyPath = keyPath;
    copyText("E:/keys\\mon.bin", h.keyPath);
    h.creationTime = 0x01D9A1B2C3D4E5F6ull;
    h.lastAccessTime = 0x0102030405060708ull;
    h.lastWriteTime = 0xFFEEDDCCBBAA9988ull;
    h.attributes = 0x2021;
    return h;
}

TEST(ContainerHeaderCodec, RoundTripsEveryFlagCombination) {
    struct Case {
        bool description, keyPath;
        uint32_t length, timesAt;
    } cases[] = {
        {false, false, 336, 310}, {true, false, 636, 610}, {false, true, 636, 610}, {true, true, 936, 910}};
    for (const Case& c : cases) {
        ContainerHeader h = sampleHeader(c.description, c.keyPath);
        uint8_t bytes[kMaxHeaderLength + 10];
        std::memset(bytes, 0xAB, sizeof bytes);
        ASSERT_EQ(encodeHeader(h, bytes), c.length);
        EXPECT_EQ(headerTimesOffset(h), c.timesAt);
        EXPECT_EQ(std::memcmp(bytes, "ZEVK1300", 8), 0);
        EXPECT_EQ(bytes[c.timesAt], 0xF6); // little-endian creation time
        EXPECT_EQ(bytes[c.timesAt + 24], 0x21);
        EXPECT_EQ(bytes[c.timesAt + 25], 0x20);
        EXPECT_EQ(bytes[c.length], 0xAB) << "wrote past the header";

        ContainerHeader back;
        ASSERT_EQ(decodeHeader(bytes, c.length, back), HeaderStatus::Ok);
        EXPECT_STREQ(back.plainName, "report.txt");
        EXPECT_EQ(back.hasDescription, uint32_t(c.description));
        EXPECT_STREQ(back.description, c.description ? "Quarterly figures" : "");
        EXPECT_EQ(back.hasKeyPath, uint32_t(c.keyPath));
        EXPECT_STREQ(back.keyPath, c.keyPath ? "E:/keys\\mon.bin" : "");
        EXPECT_EQ(back.creationTime, h.creationTime);
        EXPECT_EQ(back.lastAccessTime, h.lastAccessTime);
        EXPECT_EQ(back.lastWriteTime, h.lastWriteTime);
        EXPECT_EQ(back.attributes, 0x2021);
        EXPECT_EQ(back.headerLength, c.length);
    }
}

TEST(ContainerHeaderCodec, WritesZerosAfterEachTextTerminator) {
    ContainerHeader h = sampleHeader(true, false);
    std::memset(h.plainName, 'x', sizeof h.plainName); // stale bytes behind a short name
    std::strcpy(h.plainName, "a");
    uint8_t bytes[kMaxHeaderLength];
    encodeHeader(h, bytes);
    for (int i = 10; i < 308; ++i) {
        ASSERT_EQ(bytes[i], 0) << "offset " << i;
    }
}

TEST(ContainerHeaderCodec, AnyNonZeroFlagByteCountsAsSet) {
    ContainerHeader h = sampleHeader(true, true);
    uint8_t bytes[kMaxHeaderLength];
    encodeHeader(h, bytes);
    bytes[308] = 2;
    bytes[609] = 0x80;
    ContainerHeader back;
    ASSERT_EQ(decodeHeader(bytes, 936, back), HeaderStatus::Ok);
    EXPECT_EQ(back.hasDescription, 1u);
    EXPECT_EQ(back.hasKeyPath, 1u);
    EXPECT_EQ(back.headerLength, 936u);
}

TEST(ContainerHeaderCodec, RefusesOtherSignaturesAndShortFiles) {
    ContainerHeader back;
    const uint8_t other[] = "ZEVK1200 and more bytes";
    EXPECT_EQ(decodeHeader(other, sizeof other, back), HeaderStatus::BadSignature);
    EXPECT_EQ(decodeHeader(reinterpret_cast<const uint8_t*>("ZEVK13"), 6, back), HeaderStatus::BadSignature);
    EXPECT_EQ(decodeHeader(nullptr, 0, back), HeaderStatus::BadSignature);

    ContainerHeader h = sampleHeader(true, true);
    uint8_t bytes[kMaxHeaderLength];
    encodeHeader(h, bytes);
    // Every length short of the header the flags announce is damaged, never read past.
    for (size_t size = 8; size < 936; ++size) {
        std::vector<uint8_t> copy(bytes, bytes + size);
        ASSERT_EQ(decodeHeader(copy.data(), copy.size(), back), HeaderStatus::Truncated) << size;
    }
    // With both flags cleared the same bytes form a complete 336-byte header.
    bytes[308] = 0;
    std::vector<uint8_t> small(bytes, bytes + 309);
    small.push_back(0);
    small.resize(336, 0);
    EXPECT_EQ(decodeHeader(small.data(), small.size(), back), HeaderStatus::Ok);
}

TEST(ContainerHeaderCodec, CutsUnterminatedTextFieldsAt299Bytes) {
    uint8_t bytes[kMaxHeaderLength];
    ContainerHeader h = sampleHeader(true, true);
    encodeHeader(h, bytes);
    std::memset(bytes + 8, 'N', 300);
    std::memset(bytes + 309, 'D', 300);
    std::memset(bytes + 610, 'K', 300);
    ContainerHeader back;
    ASSERT_EQ(decodeHeader(bytes, 936, back), HeaderStatus::Ok);
    EXPECT_EQ(std::string(back.plainName), std::string(299, 'N'));
    EXPECT_EQ(std::string(back.description), std::string(299, 'D'));
    EXPECT_EQ(std::string(back.keyPath), std::string(299, 'K'));
}

TEST(ContainerHeaderCodec, JobRecordRoundTripKeepsOnlyABareName) {
    JobRequest request;
    resetJobRequest(request);
    copyText("notes", request.description);
    copyText("E:\\keys\\k.bin", request.keyPath);
    request.useDescription = true;
    request.saveKeyName = true;
    ContainerHeader h;
    headerForRequest(request, "..\\..\\Windows\\system.ini", 0x12345678, h);
    h.creationTime = 7;
    EXPECT_EQ(h.attributes, 0x5678);
    EXPECT_EQ(h.headerLength, 936u);
    uint8_t bytes[kMaxHeaderLength];
    encodeHeader(h, bytes);

    ContainerHeader back;
    ASSERT_EQ(decodeHeader(bytes, 936, back), HeaderStatus::Ok);
    StoredFile stored{};
    storedFileFromHeader(back, stored);
    EXPECT_STREQ(stored.plainName, "system.ini");
    EXPECT_EQ(stored.attributes, 0x5678u);
    EXPECT_EQ(stored.creationTime, 7u);
    EXPECT_EQ(stored.headerLength, 936u);
}

} // namespace

// Stored texts: what earlier versions wrote in the code page reads back the same, and what the
// code page cannot hold goes in UTF-8 behind the mark, never as "?" or a split character. The
// Western code page stands in for the system's one.
TEST(StoredText, KeepsTheCodePageFormAndMarksOnlyWhatItCannotHold) {
    const LegacyCodePage western{utf8ToWindows1252, windows1252ToUtf8};
    const LegacyCodePage none{nullptr, nullptr};
    const std::string longJapanese = [] {
        std::string s;
        for (int i = 0; i < 120; ++i) {
            s += "\xE8\xA1\xA8"; // 表, 3 bytes
        }
        return s;
    }();
    struct Case {
        const char* what;
        std::string text;
        const LegacyCodePage* codePage;
        std::string stored;
        bool whole;
    } cases[] = {
        {"ASCII as it is", "report.txt", &western, "report.txt", true},
        {"in the code page", "M\xC3\xBCller \xE2\x82\xAC.txt", &western, "M\xFCller \x80.txt", true},
        {"outside it, marked", "\xE8\xA1\xA8.txt", &western, "\xEF\xBB\xBF\xE8\xA1\xA8.txt", true},
        {"one character outside it marks the whole", "\xC5\x81\xC3\xBC", &western,
         "\xEF\xBB\xBF\xC5\x81\xC3\xBC", true},
        {"no code page: marked", "M\xC3\xBCller", &none, "\xEF\xBB\xBFM\xC3\xBCller", true},
        {"too long: cut between characters", longJapanese, &western,
         "\xEF\xBB\xBF" + longJapanese.substr(0, 3 * 98), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char field[kFieldCapacity];
        EXPECT_EQ(storeText(c.text.c_str(), *c.codePage, field), c.whole);
        EXPECT_EQ(std::string(field), c.stored);
        char back[kTextCapacity];
        ASSERT_TRUE(textFromStored(field, *c.codePage, back, sizeof back));
        EXPECT_EQ(std::string(back), c.whole ? c.text : c.stored.substr(3));
    }
    // An earlier version's bytes, read through the code page.
    char back[kTextCapacity];
    ASSERT_TRUE(textFromStored("Gr\xFC\xDF"
                               "e",
                               western, back, sizeof back));
    EXPECT_STREQ(back, "Gr\xC3\xBC\xC3\x9F"
                       "e");
}
