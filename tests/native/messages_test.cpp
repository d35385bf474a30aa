#include <gtest/gtest.h>

#include <string>

#include "engine/messages.h"

namespace {

TEST(ElapsedTime, ShowsSecondsAndTwoDigitsOfHundredths) {
    struct Case {
        uint32_t hundredths;
        const char* text;
    } cases[] = {{307, "3.07"},   {5, "0.05"}, {10005, "100.05"},           {99, "0.99"},
                 {6000, "60.00"}, {0, "0.00"}, {4294967295u, "42949672.95"}};
    for (const Case& c : cases) {
        char out[32];
        formatElapsed(c.hundredths, out, sizeof out);
        EXPECT_STREQ(out, c.text) << c.hundredths;
    }
}

TEST(JobReport, NamesTheWholePathAndTheReasonAndIsSilentFrom10On) {
    struct Case {
        uint32_t result;
        const char* reason;
        bool shown;
        const char* text;
    } cases[] = {
        {0, "", true, "Finished XORing in 3.07 seconds. The output is \"D:\\out\\XOR a.txt\"."},
        {1, "", true, "File Read Error with \"D:\\in\\a.txt\""},
        {1, "Access denied.", true, "File Read Error with \"D:\\in\\a.txt\": Access denied."},
        {2, "", true, "File Too Big"},
        {3, "", true, "Memory Allocation Error. Try closing a few programs and try again."},
        {4, "There is not enough space on the disk", true,
         "File Write Error with \"D:\\out\\XOR a.txt\": There is not enough space on the disk."},
        {10, "", false, ""},
        {4000, "", false, ""},
    };
    for (const Case& c : cases) {
        char out[kMessageCapacity];
        EXPECT_EQ(
            composeJobReport(c.result, 307, "D:\\in\\a.txt", "D:\\out\\XOR a.txt", c.reason, out, sizeof out),
            c.shown);
        EXPECT_STREQ(out, c.text) << c.result;
    }
}

TEST(ReadError, CutsAPathThatDoesNotFitAndKeepsTheClosingQuote) {
    char out[40];
    composeReadError(std::string(100, 'p').c_str(), out, sizeof out);
    std::string text = out;
    EXPECT_EQ(text.size(), 39u);
    EXPECT_EQ(text.substr(0, 22), "File Read Error with \"");
    EXPECT_EQ(text.back(), '"');
    char full[kMessageCapacity];
    composeReadError(std::string(599, 'p').c_str(), full, sizeof full);
    EXPECT_EQ(std::string(full), "File Read Error with \"" + std::string(599, 'p') + "\"");
}

} // namespace
