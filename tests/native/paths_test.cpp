#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/paths.h"

namespace {

TEST(FileNameOf, TakesTheTextAfterTheLastBackslash) {
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"D:\\data\\report.txt", "report.txt"},
        {"report.txt", "report.txt"},
        {"D:\\data\\", "data"},
        {"abc\\", "abc\\"},
        {"\\", "\\"},
        {"", ""},
        {"D:\\a\\b\\.profile", ".profile"},
        {"D:/x/y.txt", "D:/x/y.txt"},
    };
    for (const Case& c : cases) {
        char out[kTextCapacity];
        ASSERT_TRUE(fileNameOf(c.path, out, sizeof out));
        EXPECT_STREQ(out, c.expected) << c.path;
    }
}

TEST(StripExtension, CutsAtTheLastDot) {
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {
        {"report.tar.gz", "report.tar"}, {".profile", ""}, {"README", "README"}, {"a.", "a"}, {"", ""}};
    for (const Case& c : cases) {
        char out[kTextCapacity];
        ASSERT_TRUE(stripExtension(c.name, out, sizeof out));
        EXPECT_STREQ(out, c.expected) << c.name;
    }
}

TEST(WithTrailingBackslash, AddsExactlyOne) {
    char a[kTextCapacity] = "D:\\out";
    char b[kTextCapacity] = "D:\\out\\";
    char c[kTextCapacity] = "";
    ASSERT_TRUE(withTrailingBackslash(a));
    ASSERT_TRUE(withTrailingBackslash(b));
    ASSERT_TRUE(withTrailingBackslash(c));
    EXPECT_STREQ(a, "D:\\out\\");
    EXPECT_STREQ(b, "D:\\out\\");
    EXPECT_STREQ(c, "\\");
    char full[4] = "abc";
    EXPECT_FALSE(withTrailingBackslash(full));
    EXPECT_STREQ(full, "abc");

    char out[kTextCapacity];
    ASSERT_TRUE(joinOutputPath("C:\\out", "XOR a.txt", out, sizeof out));
    EXPECT_STREQ(out, "C:\\out\\XOR a.txt");
    ASSERT_TRUE(joinOutputPath("C:\\out\\", "XOR a.txt", out, sizeof out));
    EXPECT_STREQ(out, "C:\\out\\XOR a.txt");
    std::string longFolder(kTextCapacity - 10, 'f');
    EXPECT_FALSE(joinOutputPath(longFolder.c_str(), "0123456789", out, sizeof out));
}

TEST(BareFileName, NeverLeavesTheOutputFolder) {
    struct Case {
        const char* stored;
        const char* expected;
    } cases[] = {
        {"report.doc", "report.doc"},
        {"..\\..\\Windows\\evil.dll", "evil.dll"},
        {"C:\\Windows\\evil.dll", "evil.dll"},
        {"C:evil.dll", "evil.dll"},
        {"dir/sub/evil.txt", "evil.txt"},
        {"..", ""},
        {".", ""},
        {".. ", ""},
        {"...", ""},
        {"\\\\server\\share\\", ""},
        {"a.txt:stream", "stream"},
        {"", ""},
        {".profile", ".profile"},
        // A terminal escape or a line break in a stored name is no part of the restored one.
        {"\x1b]0;owned\x07notes\n.txt", "_]0;owned_notes_.txt"},
        {"del\x7f.txt", "del_.txt"},
        {"M\xC3\xBCller.txt", "M\xC3\xBCller.txt"},
    };
    for (const Case& c : cases) {
        char out[kTextCapacity];
        ASSERT_TRUE(bareFileName(c.stored, out, sizeof out));
        EXPECT_STREQ(out, c.expected) << c.stored;
    }
}

struct NamingCase {
    Direction direction;
    CipherMode mode;
    const char* inputPath;
    const char* storedName;
    const char* plainName;
    const char* outputName;
    const char* caption;
};

TEST(NameOutput, FollowsDirectionAndMode) {
    const NamingCase cases[] = {
        {Encrypt, ModeXor, "D:\\data\\report.txt", "", "report.txt", "XOR report.txt",
         "Processing report.txt"},
        {Encrypt, ModeClassic, "D:\\report.tar.gz", "", "report.tar.gz", "report.tar.qdx",
         "EnCrypting report.tar.gz"},
        {Encrypt, ModeClassic, "D:\\home\\.profile", "", ".profile", ".qdx", "EnCrypting .profile"},
        {Decrypt, ModeClassic, "D:\\report.qdx", "report.doc", "report.doc", "report.doc",
         "DeCrypting report.doc"},
        // XOR mode takes a container as plain bytes: the name is the container's own.
        {Decrypt, ModeXor, "D:\\report.qdx", "report.doc", "report.qdx", "XOR report.qdx",
         "Processing report.qdx"},
        {Decrypt, ModeClassic, "D:\\empty.qdx", "", "", "", "DeCrypting "},
    };
    for (const NamingCase& c : cases) {
        JobRequest request;
        resetJobRequest(request);
        request.direction = c.direction;
        request.mode = c.mode;
        copyText(c.inputPath, request.inputPath);
        copyText(c.storedName, request.stored.plainName);
        OutputNames names;
        nameOutput(request, names);
        EXPECT_STREQ(names.plainName, c.plainName) << c.inputPath;
        EXPECT_STREQ(names.outputName, c.outputName) << c.inputPath;
        EXPECT_STREQ(names.caption, c.caption) << c.inputPath;
    }
}

TEST(NameOutput, ANameThatDoesNotFitLeavesNoOutputName) {
    JobRequest request;
    resetJobRequest(request);
    std::string name(kTextCapacity - 4, 'n'); // a path that just fits: the name fits, "XOR " + name does not
    copyText(("C:\\" + name).c_str(), request.inputPath);
    OutputNames names;
    copyText("stale", names.outputName);
    EXPECT_FALSE(nameOutput(request, names));
    EXPECT_STREQ(names.outputName, "");
    EXPECT_EQ(textLength(names.caption), kTextCapacity - 1); // the caption is cut, not overrun
}

// Every folder in which the final name fits within a path's length takes the temporary name
// too: the usual one while there is room, a shorter one of letters and digits after that.
TEST(PartialFilePath, FitsInEveryFolderThatTakesTheFinalName) {
    for (const char* finalName : {"a", "XOR a.txt", "KeyFile.txt", "a decrypted name.doc"}) {
        for (size_t folderLength = 3; folderLength <= 300; ++folderLength) {
            std::string folder = "C:\\" + std::string(folderLength - 3, 'd');
            folder.back() = '\\';
            char path[kPartialPathCapacity];
            // Pick 10 makes the short name "a", which must not be the final name itself.
            ASSERT_TRUE(partialFilePath(folder.c_str(), "nbr", finalName, 10, path, sizeof path));
            ASSERT_EQ(std::string(path).rfind(folder, 0), 0u);
            std::string name = path + folderLength;
            SCOPED_TRACE(name);
            EXPECT_NE(name, finalName);
            if (folderLength + std::strlen(finalName) <= kMaxPathLength) {
                EXPECT_LE(std::strlen(path), kMaxPathLength) << folderLength;
            }
            if (folderLength + 13 <= kMaxPathLength) {
                EXPECT_EQ(name, "nbra00000.tmp");
            } else {
                EXPECT_EQ(name.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz.nbrtmp"),
                          std::string::npos);
            }
        }
    }
    char a[kPartialPathCapacity];
    char b[kPartialPathCapacity];
    ASSERT_TRUE(partialFilePath("D:\\out", "nbr", "XOR a.txt", 1, a, sizeof a));
    ASSERT_TRUE(partialFilePath("D:\\out", "nbr", "XOR a.txt", 2, b, sizeof b));
    EXPECT_STREQ(a, "D:\\out\\nbr100000.tmp");
    EXPECT_STRNE(a, b);
}

TEST(IsLocalDrivePath, OnlyADriveLetterColonAndBackslash) {
    for (const char* path : {"C:\\k.bin", "z:\\keys\\k.bin"}) {
        EXPECT_TRUE(isLocalDrivePath(path)) << path;
    }
    for (const char* path : {"\\\\host\\share\\key.bin", "\\\\?\\C:\\k.bin", "\\\\.\\pipe\\k", "C:k.bin",
                             "C:/k.bin", "k.bin", "1:\\k.bin", "", "C"}) {
        EXPECT_FALSE(isLocalDrivePath(path)) << path;
    }
}

} // namespace
