#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "text/text.h"

namespace {

TEST(FindText, ReturnCodesFollowTheirEdges) {
    struct Case {
        int32_t start;
        const char* text;
        const char* pattern;
        int32_t expected;
    } cases[] = {
        {1, "archive.tar.gz", ".", 8},
        {9, "archive.tar.gz", ".", 12},
        {13, "archive.tar.gz", ".", 0},
        {14, "archive.tar.gz", ".", 0},
        {15, "archive.tar.gz", ".", -2},
        {0, "archive.tar.gz", ".", -2},
        {-5, "archive.tar.gz", ".", -2},
        {1, "abc", "abc", -1},
        {1, "abc", "abcd", -1},
        {1, "", "a", -1},
        {1, "aXbXc", "X", 2},
        {3, "aXbXc", "X", 4},
        {1, "abcabc", "ca", 3},
        {1, "abc", "", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findText(c.start, c.text, c.pattern), c.expected)
            << "start " << c.start << " text '" << c.text << "' pattern '" << c.pattern << "'";
    }
}

TEST(ParseDecimal, WrapsAndNeverRejectsABye) {
    struct Case {
        const char* text;
        uint32_t expected;
    } cases[] = {
        {"4096", 4096},
        {"12x", 12 * 10 + 72},
        {"", 0},
        {"4294967296", 0},
        {"4294967295", 0xFFFFFFFFu},
        {"-5", 0u - 5u},
        {"-", 0},
        {"A", 17},
        {" ", 240},
        {"007", 7},
        {"20", 20},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseDecimal(c.text), c.expected) << "'" << c.text << "'";
    }
}

TEST(FormatDecimal, WritesEveryValueAndRefusesSmallBuffers) {
    struct Case {
        int32_t value;
        const char* expected;
    } cases[] = {{0, "0"}, {600, "600"}, {-5, "-5"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
    for (const Case& c : cases) {
        char out[12];
        ASSERT_TRUE(formatDecimal(c.value, out, sizeof out));
        EXPECT_STREQ(out, c.expected);
    }
    char small[3] = "ab";
    EXPECT_FALSE(formatDecimal(600, small, sizeof small));
    EXPECT_STREQ(small, "ab");
    char exact[4];
    EXPECT_TRUE(formatDecimal(-12, exact, sizeof exact));
    EXPECT_STREQ(exact, "-12");
}

TEST(CopyAndAppend, AreAllOrNothingWithinTheirCapacity) {
    char buffer[8] = "abc";
    EXPECT_TRUE(appendText(buffer, "defg"));
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_FALSE(appendText(buffer, "h"));
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_FALSE(copyText("12345678", buffer));
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_TRUE(copyText("1234567", buffer));
    EXPECT_STREQ(buffer, "1234567");

    char path[kTextCapacity];
    std::string longest(kTextCapacity - 1, 'p');
    EXPECT_TRUE(copyText(longest.c_str(), path));
    EXPECT_FALSE(copyText((longest + "q").c_str(), path));
    EXPECT_FALSE(appendText(path, "x"));
    EXPECT_EQ(textLength(path), kTextCapacity - 1);
}

TEST(MidRightReverse, CopyTheirBytesAndCheckTheirRanges) {
    char out[kTextCapacity];
    ASSERT_TRUE(midText("ABCDEF", out, sizeof out, 2, 3));
    EXPECT_STREQ(out, "CDE");
    ASSERT_TRUE(midText("ABCDEF", out, sizeof out, 2, 0));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(midText("ABCDEF", out, sizeof out, 4, 3));
    char tiny[3];
    EXPECT_FALSE(midText("ABCDEF", tiny, sizeof tiny, 0, 3));

    ASSERT_TRUE(rightText("ABCDEF", out, sizeof out, 2));
    EXPECT_STREQ(out, "EF");
    EXPECT_FALSE(rightText("ABCDEF", out, sizeof out, 7));

    ASSERT_TRUE(reverseText("abc", out, sizeof out));
    EXPECT_STREQ(out, "cba");
    ASSERT_TRUE(reverseText("a", out, sizeof out));
    EXPECT_STREQ(out, "a");
    ASSERT_TRUE(reverseText("", out, sizeof out));
    EXPECT_STREQ(out, "");
}

TEST(ToLowerAscii, LowersOnlyTheLettersAToZ) {
    char text[] = "KeyRing.TXT \xC4\xD6[@]";
    toLowerAscii(text);
    EXPECT_STREQ(text, "keyring.txt \xC4\xD6[@]");
}

TEST(DirectoryOf, CutsAfterTheLastBackslash) {
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"C:\\Tools\\Nimbrel.exe", "C:\\Tools\\"},
        {"Nimbrel.exe", "Nimbrel.exe"},
        {"", ""},
        {"\\", "\\"},
        {"x", "x"},
        {"C:\\Tools\\", "C:\\Tools\\"},
        {"D:/data/a.txt", "D:/data/a.txt"},
        {"\\\\server\\share\\f", "\\\\server\\share\\"},
    };
    for (const Case& c : cases) {
        char path[kTextCapacity];
        copyText(c.path, path);
        directoryOf(path);
        EXPECT_STREQ(path, c.expected) << c.path;
    }
}

TEST(CutText, StopsAtItsLimitOrTheTerminator) {
    char out[10];
    ASSERT_TRUE(cutText("abcdef", 3, out));
    EXPECT_STREQ(out, "abc");
    ASSERT_TRUE(cutText("ab", 3, out));
    EXPECT_STREQ(out, "ab");
    EXPECT_FALSE(cutText("abcdefghijkl", 12, out));
    const char unterminated[4] = {'w', 'x', 'y', 'z'};
    ASSERT_TRUE(cutText(unterminated, 4, out));
    EXPECT_STREQ(out, "wxyz");
    EXPECT_TRUE(equalIgnoringCase("C:\\Out\\A.TXT", "c:\\out\\a.txt"));
    EXPECT_FALSE(equalIgnoringCase("a.txt", "a.txt2"));
}

TEST(JoinText, JoinsWhatFitsAndLeavesTheBufferAsItWasOtherwise) {
    char out[9];
    ASSERT_TRUE(joinText("C:", "\\", out));
    ASSERT_TRUE(joinText(out, "a.txt", out));      // the first text may be the buffer itself
    EXPECT_STREQ(out, "C:\\a.txt");                // exactly full
    EXPECT_FALSE(joinText("C:\\", "a.txt1", out)); // one byte short of the terminator
    EXPECT_FALSE(joinText("abcdefghi", "", out));
    EXPECT_FALSE(joinText("", "", out, 0));
    EXPECT_STREQ(out, "C:\\a.txt");
    ASSERT_TRUE(joinText("", "", out));
    EXPECT_STREQ(out, "");
}

TEST(AppendCutText, CutsToTheRoomLeftAndKeepsTheReserve) {
    char out[10 + 4];
    std::memset(out, '#', sizeof out);
    std::strcpy(out, "ab");
    EXPECT_TRUE(appendCutText(out, 10, "cd"));
    EXPECT_STREQ(out, "abcd");
    EXPECT_FALSE(appendCutText(out, 10, "efghijkl", 1)); // 1 byte kept back for what follows
    EXPECT_STREQ(out, "abcdefgh");
    EXPECT_TRUE(appendText(out, 10, "\""));
    EXPECT_FALSE(appendCutText(out, 10, "z")); // full: nothing more goes in
    EXPECT_STREQ(out, "abcdefgh\"");
    EXPECT_EQ(out[10], '#'); // never past the capacity
    std::strcpy(out, "abc");
    EXPECT_FALSE(appendCutText(out, 5, "xyz", 3)); // the reserve exceeds the room: nothing
    EXPECT_STREQ(out, "abc");
    EXPECT_TRUE(appendCutText(out, 5, "", 3));
}

// UTF-8 inside: a cut moves back to a character's start, lengths count as the system does, and
// the Western code page converts exactly or not at all.
TEST(Utf8Text, NeverSplitsACharacterAndConvertsExactly) {
    char out[8];
    out[0] = '\0';
    EXPECT_FALSE(appendCutText(out, sizeof out, "ab\xE3\x82\xBD\xE3\x82\xBD")); // ab + 2 x ソ
    EXPECT_STREQ(out, "ab\xE3\x82\xBD");

    struct Case {
        const char* text;
        bool utf8;
        size_t units;        // of well-formed text
        const char* western; // null: no form in Windows-1252
    } cases[] = {
        {"plain", true, 5, "plain"},
        {"gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC",
         true, 7,
         "gr\xFC\xDF"
         "e \x80"},
        {"\xE8\xA1\xA8\\x", true, 3, nullptr},
        {"\xF0\x9F\x98\x80", true, 2, nullptr}, // outside the basic plane: two units
        {"\xC5\x81", true, 1, nullptr},         // Ł
        {"\xC0\xAF", false, 0, nullptr},        // an overlong "/"
        {"\xED\xA0\x80", false, 0, nullptr},    // a surrogate
        {"\xFC", false, 0, nullptr},            // a lone code-page byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(isUtf8(c.text), c.utf8);
        if (c.utf8) {
            EXPECT_EQ(utf16Length(c.text), c.units);
        }
        char bytes[32] = "untouched";
        EXPECT_EQ(utf8ToWindows1252(c.text, bytes, sizeof bytes), c.western != nullptr);
        if (c.western) {
            EXPECT_STREQ(bytes, c.western);
            char back[32];
            ASSERT_TRUE(windows1252ToUtf8(bytes, back, sizeof back));
            EXPECT_STREQ(back, c.text);
        } else {
            EXPECT_STREQ(bytes, "untouched");
        }
    }
}

} // namespace
