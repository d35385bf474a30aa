// "Help" and every "Open ReadMe" answer hand the ReadMe beside the program to the shell.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/shell_recorder.h"
#include "support/win_files.h"

namespace {

std::string readMePath() {
    std::string exe = builtProgram();
    return exe.substr(0, exe.find_last_of('\\') + 1) + "ReadMe.htm";
}

TEST(ReadMe, HelpOpensTheReadMeBesideTheProgram) {
    ShellRecorder recorder;
    Program program = startNimbrel("");
    HWND main = waitForMainDialog(program);
    ASSERT_TRUE(main);
    press(main, IDB_HELP);
    EXPECT_TRUE(waitUntil([&] { return !recorder.opened().empty(); }));
    EXPECT_NE(recorder.opened().find(readMePath()), std::string::npos) << recorder.opened();
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

TEST(ReadMe, TheAnswerOpenReadMeOpensIt) {
    ShellRecorder recorder;
    TempFolder dir("readme");
    std::string input = dir / "a.txt";
    writeWholeFile(input, patternBytes(100, 1));
    Program program = startNimbrel("\"" + input + "\"");
    HWND main = waitForMainDialog(program);
    ASSERT_TRUE(main);
    ASSERT_TRUE(waitUntil([&] { return isEnabled(main, IDO_DRIVE); }));
    press(main, IDO_DRIVE); // no drive carries an index here: advice with "Open ReadMe"
    MessageSeen advice = waitForMessage(program);
    ASSERT_TRUE(advice.box);
    EXPECT_EQ(advice.no, "Open ReadMe");
    answer(advice, false);
    EXPECT_TRUE(waitUntil([&] { return !recorder.opened().empty(); }));
    EXPECT_NE(recorder.opened().find(readMePath()), std::string::npos) << recorder.opened();
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

} // namespace
