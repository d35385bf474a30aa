#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "keys/keyring.h"
#include "text/text.h"

namespace {

using Texts = std::vector<std::string>;

std::unique_ptr<KeyRingParser> newParser() {
    return std::make_unique<KeyRingParser>();
}

// Feeds the file in portions of `portion` bytes (0: all at once, 1: byte by byte through the
// single-byte call).
void parseInPortions(KeyRingParser& parser, const std::string& file, size_t portion) {
    beginKeyRing(parser);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(file.data());
    if (portion == 0) {
        feedKeyRingBytes(parser, bytes, file.size());
    } else if (portion == 1) {
        for (uint8_t b : file) {
            feedKeyRingByte(parser, b);
        }
    } else {
        for (size_t at = 0; at < file.size(); at += portion) {
            feedKeyRingBytes(parser, bytes + at, std::min(portion, file.size() - at));
        }
    }
    finishKeyRing(parser);
}

Texts namesOf(const KeyRingIndex& index) {
    return Texts(index.names, index.names + index.nameCount);
}
Texts pathsOf(const KeyRingIndex& index) {
    return Texts(index.paths, index.paths + index.entryCount);
}

// Lines joined with an ending after each.
std::string lines(const Texts& texts, const char* ending = "\r\n") {
    std::string file;
    for (const std::string& t : texts) {
        file += t + ending;
    }
    return file;
}

// count pairs "Key i" / "key_i.bin".
Texts pairs(int count) {
    Texts t;
    for (int i = 1; i <= count; ++i) {
        t.push_back("Key " + std::to_string(i));
        t.push_back("key_" + std::to_string(i) + ".bin");
    }
    return t;
}
Texts namesUpTo(int count) {
    Texts t;
    for (int i = 1; i <= count; ++i) {
        t.push_back("Key " + std::to_string(i));
    }
    return t;
}
Texts pathsUpTo(int count) {
    Texts t;
    for (int i = 1; i <= count; ++i) {
        t.push_back("key_" + std::to_string(i) + ".bin");
    }
    return t;
}
Texts operator+(Texts a, const Texts& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct IndexCase {
    const char* what;
    std::string file;
    uint32_t capacity;
    Texts names;
    Texts paths;
    bool entryLineMet;
};

void checkEveryFeeding(const IndexCase& c) {
    auto parser = newParser();
    for (size_t portion : {size_t(0), size_t(1), size_t(2), size_t(7)}) {
        parseInPortions(*parser, c.file, portion);
        const KeyRingIndex& index = parser->index;
        EXPECT_EQ(index.entryCapacity, c.capacity) << c.what << " portion " << portion;
        EXPECT_EQ(namesOf(index), c.names) << c.what << " portion " << portion;
        EXPECT_EQ(pathsOf(index), c.paths) << c.what << " portion " << portion;
        EXPECT_EQ(index.entryLineMet != 0, c.entryLineMet) << c.what << " portion " << portion;
    }
}

const Texts kExample = {"-20",     "# keys for the office", "Monday key", "keys\\mon.bin",
                        "Big key", "D:\\store\\big.bin",    "Photo",      "photo.jpg"};
const Texts kExampleNames = {"Monday key", "Big key", "Photo"};
const Texts kExamplePaths = {"keys\\mon.bin", "D:\\store\\big.bin", "photo.jpg"};

TEST(KeyRingIndexFormat, LineEndingsDecideWhereLinesEnd) {
    const IndexCase cases[] = {
        {"CR LF", lines(kExample), 20, kExampleNames, kExamplePaths, true},
        {"CR alone", lines(kExample, "\r"), 20, kExampleNames, kExamplePaths, true},
        {"LF before CR", lines(kExample, "\n\r"), 20, kExampleNames, kExamplePaths, true},
        {"LF alone: one unterminated line", lines(kExample, "\n"), 10, {}, {}, false},
        {"line feeds anywhere are dropped",
         "Mon\nday\n key\r\nkeys\\\nmon.bin\r\n",
         10,
         {"Monday key"},
         {"keys\\mon.bin"},
         true},
        {"LF lines closed by one CR are one line",
         "Monday key\nkeys\\mon.bin\r",
         10,
         {"Monday keykeys\\mon.bin"},
         {},
         true},
        {"a last line without CR is not read", "Monday key\r\nkeys\\mon.bin", 10, {"Monday key"}, {}, true},
        {"a last pair without CR keeps its name only", lines(kExample) + "Extra\r\nextra.bin", 20,
         kExampleNames + Texts{"Extra"}, kExamplePaths, true},
        {"an empty file", "", 10, {}, {}, false},
    };
    for (const IndexCase& c : cases) {
        checkEveryFeeding(c);
    }
}

TEST(KeyRingIndexFormat, MarkersMarkTheirLineWhereverTheyStand) {
    const IndexCase cases[] = {
        {"a comment line", "# keys\r\nName\r\nPath\r\n", 10, {"Name"}, {"Path"}, true},
        {"# inside a name makes it a comment", "Mon#day\r\nName\r\nPath\r\n", 10, {"Name"}, {"Path"}, true},
        {"a commented path line is passed over",
         "Name\r\nPath#\r\nName 2\r\nPath 2\r\n",
         10,
         {"Name", "Path 2"},
         {"Name 2"},
         true},
        {"the comment mark is cleared by its line",
         "#\r\n#\r\nName\r\nPath\r\n",
         10,
         {"Name"},
         {"Path"},
         true},
        {"- at the end of a count line", "20-\r\nName\r\nPath\r\n", 20, {"Name"}, {"Path"}, true},
        {"- inside the digits is no text", "1-5\r\nName\r\nPath\r\n", 15, {"Name"}, {"Path"}, true},
        {"a count line with no text", "-\r\nName\r\nPath\r\n", 10, {"Name"}, {"Path"}, true},
        {"- and # together: a count line, then a comment line",
         "-#20\r\nHidden\r\nName\r\nPath\r\n",
         20,
         {"Name"},
         {"Path"},
         true},
        {"# before -: the same", "#-20\r\nHidden\r\nName\r\nPath\r\n", 20, {"Name"}, {"Path"}, true},
        {"the comment after a count line may be short",
         "-#12\r\n\r\nName\r\nPath\r\n",
         12,
         {"Name"},
         {"Path"},
         true},
        {"a display name is shown as written",
         " Monday  key \r\n keys\\mon.bin\r\n",
         10,
         {" Monday  key "},
         {" keys\\mon.bin"},
         true},
        {"other bytes are text", "N\tam\xE9\r\nC:/x y\r\n", 10, {"N\tam\xE9"}, {"C:/x y"}, true},
    };
    for (const IndexCase& c : cases) {
        checkEveryFeeding(c);
    }
}

TEST(KeyRingIndexFormat, CountLinesSetTheCapacityBeforeTheFirstEntry) {
    const IndexCase cases[] = {
        {"no count line: ten entries, the 11th pair ignored", lines(pairs(11)), 10, namesUpTo(10),
         pathsUpTo(10), true},
        {"5 is refused", lines(Texts{"-5"} + pairs(11)), 10, namesUpTo(10), pathsUpTo(10), true},
        {"10 is refused but is the default", lines(Texts{"-10"} + pairs(11)), 10, namesUpTo(10),
         pathsUpTo(10), true},
        {"11 is taken", lines(Texts{"-11"} + pairs(12)), 11, namesUpTo(11), pathsUpTo(11), true},
        {"199 is taken", lines(Texts{"-199"} + pairs(200)), 199, namesUpTo(199), pathsUpTo(199), true},
        {"200 is refused", lines(Texts{"-200"} + pairs(11)), 10, namesUpTo(10), pathsUpTo(10), true},
        {"not digits: the value is refused", lines(Texts{"-20 keys"} + pairs(1)), 10, namesUpTo(1),
         pathsUpTo(1), true},
        {"the first line or further down", lines(Texts{"# c", "ab", "-12"} + pairs(13)), 12, namesUpTo(12),
         pathsUpTo(12), true},
        {"each valid count line replaces the last", lines(Texts{"-20", "-30"} + pairs(1)), 30, namesUpTo(1),
         pathsUpTo(1), true},
        {"an invalid one leaves it", lines(Texts{"-20", "-5", "-300"} + pairs(1)), 20, namesUpTo(1),
         pathsUpTo(1), true},
        {"10 is no count, even after another", lines(Texts{"-20", "-10"} + pairs(1)), 20, namesUpTo(1),
         pathsUpTo(1), true},
        {"a count line with no entries", lines(Texts{"-50", "# none"}), 50, {}, {}, false},
        {"the name of the last pair that fits is kept", lines(Texts{"-11"} + pairs(10) + Texts{"Key 11"}), 11,
         namesUpTo(11), pathsUpTo(10), true},
    };
    for (const IndexCase& c : cases) {
        checkEveryFeeding(c);
    }
}

TEST(KeyRingIndexFormat, ADashAfterTheFirstEntryLineEndsTheIndex) {
    const IndexCase cases[] = {
        {"a count line after an entry", lines(pairs(1) + Texts{"-20"} + pairs(3)), 10, namesUpTo(1),
         pathsUpTo(1), true},
        {"a count line right after the first name",
         lines(Texts{"Name", "-20", "Path"}),
         10,
         {"Name"},
         {},
         true},
        {"a path with a dash",
         lines(Texts{"Monday key", "keys\\mon.bin", "My key", "keys\\my-key.bin", "Photo", "photo.jpg"}),
         10,
         {"Monday key", "My key"},
         {"keys\\mon.bin"},
         true},
        {"a name with a dash",
         lines(Texts{"Monday key", "keys\\mon.bin", "Key-2", "two.bin"}),
         10,
         {"Monday key"},
         {"keys\\mon.bin"},
         true},
        {"comments after the end change nothing", lines(pairs(1) + Texts{"--", "#", "Key 2"}), 10,
         namesUpTo(1), pathsUpTo(1), true},
    };
    for (const IndexCase& c : cases) {
        checkEveryFeeding(c);
    }
}

TEST(KeyRingIndexFormat, ShortLinesDoNotShiftThePairing) {
    const IndexCase cases[] = {
        {"two characters, one, none",
         lines(Texts{"ab", "Name", "x", "", "Path", "12"}),
         10,
         {"Name"},
         {"Path"},
         true},
        {"three characters make an entry line", lines(Texts{"abc", "xyz"}), 10, {"abc"}, {"xyz"}, true},
        {"blank lines around pairs",
         lines(Texts{"", "", "Key 1", "", "key_1.bin", "  ", "Key 2", "key_2.bin"}), 10, namesUpTo(2),
         pathsUpTo(2), true},
        // Markers are not characters: "a#" and "a-b" hold one and two characters of text.
        {"a short comment line", lines(Texts{"a#", "Name", "Path"}), 10, {"Name"}, {"Path"}, true},
        {"only short lines", lines(Texts{"ab", "cd", "", "e"}), 10, {}, {}, false},
        // A zero byte counts as a character but ends the line's text.
        {"a zero byte inside a line", std::string("ab\0cd\r\nPath\r\n", 13), 10, {"ab"}, {"Path"}, true},
        {"a line of zero bytes", std::string("\0\0\0\r\nPath\r\n", 11), 10, {""}, {"Path"}, true},
    };
    for (const IndexCase& c : cases) {
        checkEveryFeeding(c);
    }
}

TEST(KeyRingIndexFormat, LongTextIsCutWithoutOverflow) {
    const std::string name150(150, 'n'), path400(400, 'p');
    const std::string name99(99, 'n'), path299(299, 'p');
    const std::string huge(5000, 'h');
    const IndexCase cases[] = {
        {"names keep 99 characters, paths 299",
         lines(Texts{name150, path400}),
         10,
         {name99},
         {path299},
         true},
        {"exactly 99 and 299 are kept whole", lines(Texts{name99, path299}), 10, {name99}, {path299}, true},
        {"lines over 599 characters",
         lines(Texts{huge, huge, "Name", "Path"}),
         10,
         {std::string(99, 'h'), "Name"},
         {std::string(299, 'h'), "Path"},
         true},
        {"a marker past the 599th character still marks",
         lines(Texts{huge + "#", "Name", "Path"}),
         10,
         {"Name"},
         {"Path"},
         true},
        // The count line's text is cut to 599 characters before it is read as a number.
        {"a count in the first 599 characters", lines(Texts{"-" + std::string(597, '0') + "20"} + pairs(1)),
         20, namesUpTo(1), pathsUpTo(1), true},
        {"a count cut at 599 characters", lines(Texts{"-" + std::string(598, '0') + "20"} + pairs(1)), 10,
         namesUpTo(1), pathsUpTo(1), true},
    };
    for (const IndexCase& c : cases) {
        checkEveryFeeding(c);
    }
}

TEST(KeyRingIndexFormat, ReadingAnotherIndexReplacesTheLastOne) {
    auto parser = newParser();
    parseInPortions(*parser, lines(Texts{"-30"} + pairs(12)), 0);
    ASSERT_EQ(parser->index.entryCount, 12u);
    parseInPortions(*parser, lines(pairs(2)), 0);
    EXPECT_EQ(parser->index.entryCapacity, 10u);
    EXPECT_EQ(namesOf(parser->index), namesUpTo(2));
    EXPECT_EQ(pathsOf(parser->index), pathsUpTo(2));
    // Nothing of the earlier index lingers in the unused slots.
    EXPECT_STREQ(parser->index.paths[2], "");
    EXPECT_STREQ(parser->index.names[2], "");
    // Mid-line state is not carried into the next file either.
    parseInPortions(*parser, "-#5", 0);
    parseInPortions(*parser, lines(pairs(1)), 0);
    EXPECT_EQ(pathsOf(parser->index), pathsUpTo(1));
}

TEST(KeyRingEntries, ResolveAgainstTheIndexRoot) {
    auto parser = newParser();
    parseKeyRing(*parser, reinterpret_cast<const uint8_t*>(lines(kExample).data()), lines(kExample).size());
    const KeyRingIndex& index = parser->index;
    struct Case {
        uint32_t selected;
        const char* candidate;
        const char* slotPath;
    } cases[] = {
        {0, "E:/keys\\mon.bin", "keys\\mon.bin"},
        {1, "E:/D:\\store\\big.bin", "D:\\store\\big.bin"},
        {2, "E:/photo.jpg", "photo.jpg"},
        // A slot of the table that holds no path gives an unusable key path, never a stale one.
        {3, "E:/", ""},
        {19, "E:/", ""},
    };
    for (const Case& c : cases) {
        char candidate[kTextCapacity] = "unchanged";
        ASSERT_TRUE(entryCandidate(index, "E:/", c.selected, candidate, sizeof candidate)) << c.selected;
        EXPECT_STREQ(candidate, c.candidate);
        ASSERT_NE(entrySlotPath(index, c.selected), nullptr);
        EXPECT_STREQ(entrySlotPath(index, c.selected), c.slotPath);
    }
}

TEST(KeyRingEntries, SelectionsWithoutASlotAreReported) {
    auto parser = newParser();
    const std::string file = lines(kExample);
    parseKeyRing(*parser, reinterpret_cast<const uint8_t*>(file.data()), file.size());
    auto noEntries = newParser();
    const std::string comments = lines(Texts{"-30", "# nothing yet", "ab"});
    parseKeyRing(*noEntries, reinterpret_cast<const uint8_t*>(comments.data()), comments.size());
    struct Case {
        const char* what;
        const KeyRingIndex& index;
        uint32_t selected;
    } cases[] = {
        {"past the capacity", parser->index, 20},
        {"no selection", parser->index, 0xFFFFFFFFu},
        {"an index without entry lines", noEntries->index, 0},
    };
    for (const Case& c : cases) {
        char candidate[kTextCapacity] = "unchanged";
        EXPECT_FALSE(entryCandidate(c.index, "E:/", c.selected, candidate, sizeof candidate)) << c.what;
        EXPECT_STREQ(candidate, "unchanged") << c.what;
        EXPECT_EQ(entrySlotPath(c.index, c.selected), nullptr) << c.what;
    }

    // A candidate that does not fit is refused, not cut.
    char small[16] = "unchanged";
    EXPECT_FALSE(entryCandidate(parser->index, "E:/", 1, small, sizeof small));
    EXPECT_STREQ(small, "unchanged");
    char exact[16];
    EXPECT_TRUE(entryCandidate(parser->index, "E:/", 0, exact, sizeof exact));
    EXPECT_STREQ(exact, "E:/keys\\mon.bin");
}

TEST(KeyRingDrives, RootsAndIndexPathsFollowTheDriveLetters) {
    struct LetterCase {
        uint32_t position;
        char letter;
    } letters[] = {{0, 'A'}, {4, 'E'}, {25, 'Z'}, {26, '\0'}, {27, '\0'}, {31, '\0'}};
    for (const LetterCase& c : letters) {
        EXPECT_EQ(driveLetterAt(c.position), c.letter) << c.position;
    }

    struct TypeCase {
        uint32_t type;
        bool searched;
    } types[] = {{0, false}, {1, false}, {2, true}, {3, false}, {4, false}, {5, true}, {6, false}};
    for (const TypeCase& c : types) {
        EXPECT_EQ(isKeyDriveType(c.type), c.searched) << c.type;
    }

    char root[kIndexRootCapacity];
    ASSERT_TRUE(indexRootFor("E", root, sizeof root));
    EXPECT_STREQ(root, "E:/");
    char path[kTextCapacity];
    ASSERT_TRUE(indexFilePath(root, path, sizeof path));
    EXPECT_STREQ(path, "E:/KeyRing.txt");

    char tiny[4] = "xyz";
    EXPECT_FALSE(indexRootFor("EF", tiny, sizeof tiny));
    EXPECT_STREQ(tiny, "xyz");
    char shortPath[14] = "";
    EXPECT_FALSE(indexFilePath("E:/", shortPath, sizeof shortPath));
    char fitting[15];
    EXPECT_TRUE(indexFilePath("E:/", fitting, sizeof fitting));
}

} // namespace
