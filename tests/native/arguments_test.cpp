#include <gtest/gtest.h>

#include <string>

#include "engine/arguments.h"

namespace {

struct Case {
    const char* line;
    uint32_t index;
    ArgumentResult result;
    const char* argument;
};

TEST(SplitArgument, FollowsTheQuotingAndSpacingRules) {
    const std::string example = std::string("C:\\Nimbrel.exe  \"/i=D:\\My Files\\a.txt\"\t/s=abc");
    const Case cases[] = {
        {example.c_str(), 0, ArgumentFound, "C:\\Nimbrel.exe"},
        {example.c_str(), 1, ArgumentFound, "/i=D:\\My Files\\a.txt"},
        {example.c_str(), 2, ArgumentFound, "/s=abc"},
        {example.c_str(), 3, ArgumentMissing, ""},
        {"\"C:\\Program Files\\Nimbrel.exe\" x", 0, ArgumentFound, "C:\\Program Files\\Nimbrel.exe"},
        {"\"C:\\Program Files\\Nimbrel.exe\" x", 1, ArgumentFound, "x"},
        {"prog a ", 2, ArgumentEmpty, ""}, // trailing spaces: an empty argument follows
        {"prog a ", 3, ArgumentMissing, ""},
        {"prog a", 2, ArgumentMissing, ""},
        {"   prog   a   b", 2, ArgumentFound, "b"},
        {"prog \"\"", 1, ArgumentEmpty, ""},
        {"prog /s=\"two words\"", 1, ArgumentFound, "/s=two words"},
        {"prog a\"b c\"d", 1, ArgumentFound, "ab cd"},
        {"prog \xFE", 1, ArgumentFound, " "}, // a marker byte of its own also comes out as a space
        {"", 0, ArgumentEmpty, ""},
        {"", 1, ArgumentMissing, ""},
        {"prog \"tab\tinside\"", 1, ArgumentFound, "tab inside"},
    };
    for (const Case& c : cases) {
        std::string argument = "unchanged";
        EXPECT_EQ(splitArgument(c.line, c.index, argument), c.result) << c.line << " #" << c.index;
        EXPECT_EQ(argument, c.argument) << c.line << " #" << c.index;
    }
}

TEST(SplitArgument, AnOddNumberOfQuotesReadsNothing) {
    char out[16] = "unchanged";
    EXPECT_EQ(splitArgument("prog \"/i=a.txt /s=k", 1, out, sizeof out), ArgumentOddQuotes);
    EXPECT_STREQ(out, "unchanged");
    EXPECT_EQ(splitArgument("prog a\" b", 0, out, sizeof out), ArgumentOddQuotes);
}

TEST(SplitArgument, AnyLengthIsReadAndTooLongIsReported) {
    std::string longPath(5000, 'p');
    std::string line = "prog /i=" + longPath + " /s=k";
    std::string argument;
    EXPECT_EQ(splitArgument(line.c_str(), 1, argument), ArgumentFound);
    EXPECT_EQ(argument, "/i=" + longPath);
    char out[600] = "x";
    EXPECT_EQ(splitArgument(line.c_str(), 1, out, sizeof out), ArgumentTooLong);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(splitArgument(line.c_str(), 2, out, sizeof out), ArgumentFound);
    EXPECT_STREQ(out, "/s=k");
    std::string exact = "prog " + std::string(599, 'e');
    EXPECT_EQ(splitArgument(exact.c_str(), 1, out, sizeof out), ArgumentFound);
}

} // namespace
