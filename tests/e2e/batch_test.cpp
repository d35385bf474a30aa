// Windowless runs of the real Nimbrel.exe: switches, their order and case, quoting, outputs
// byte for byte, and the exit code a script sees.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"

namespace {

class BatchTest : public ::testing::Test {
  protected:
    TempFolder dir{"batch"};
    Bytes plain = patternBytes(5000, 21);

    std::string input(const std::string& name = "a.txt") {
        std::string path = dir / name;
        writeWholeFile(path, plain);
        return path;
    }
    DWORD run(const std::string& arguments) {
        Program program = startNimbrel(arguments);
        EXPECT_TRUE(program.process) << "could not start Nimbrel.exe";
        DWORD code = program.waitForExit();
        EXPECT_NE(code, STILL_ACTIVE) << "no windowless run for: " << arguments;
        return code;
    }
    // A run that opens the window instead of a job: no output, and Close ends it.
    void expectWindowNotJob(const std::string& arguments) {
        Program program = startNimbrel(arguments);
        HWND main = waitForMainDialog(program);
        ASSERT_TRUE(main) << "the main dialog did not open for: " << arguments;
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
};

TEST_F(BatchTest, ARunWithAStringKeyWritesTheXorOutputBesideTheInput) {
    std::string in = input();
    EXPECT_EQ(run("/i=" + in + " /s=k"), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithString(plain, "k"));
    // XOR mode is its own inverse, also through the command line.
    EXPECT_EQ(run("\"/i=" + (dir / "XOR a.txt") + "\" /s=k"), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR XOR a.txt"), plain);
}

TEST_F(BatchTest, SwitchCaseRules) {
    std::string in = input();
    TempFolder out("out");
    // "/I=" counts as "/i="; "/O=" is no switch, so the output stays beside the input.
    EXPECT_EQ(run("/I=" + in + " /O=" + out.path + " /s=k"), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithString(plain, "k"));
    EXPECT_TRUE(folderEntries(out.path).empty());
    // "/S=" is no switch either: no key, no job.
    DeleteFileA((dir / "XOR a.txt").c_str());
    expectWindowNotJob("/i=" + in + " /S=k");
    EXPECT_FALSE(fileExists(dir / "XOR a.txt"));
}

TEST_F(BatchTest, TheOutputFolderCountsOnlyAfterTheInput) {
    std::string in = input();
    TempFolder out("out");
    EXPECT_EQ(run("/o=" + out.path + " /i=" + in + " /s=k"), kExit);
    EXPECT_TRUE(fileExists(dir / "XOR a.txt"));
    EXPECT_TRUE(folderEntries(out.path).empty());
    EXPECT_EQ(run("/i=" + in + " /o=" + out.path + " /s=k"), kExit);
    EXPECT_EQ(readWholeFile(out / "XOR a.txt"), xorWithString(plain, "k"));
}

TEST_F(BatchTest, TheLaterKeySwitchWins) {
    std::string in = input();
    Bytes key = patternBytes(6000, 3);
    std::string keyPath = dir / "key.bin";
    writeWholeFile(keyPath, key);
    EXPECT_EQ(run("/f=" + keyPath + " /s=k /i=" + in), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithString(plain, "k"));
    EXPECT_EQ(run("/s=k /f=" + keyPath + " /i=" + in), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithKeyFile(plain, key));
    // A short key file brings no advice without a window.
    Bytes shortKey = patternBytes(100, 4);
    writeWholeFile(keyPath, shortKey);
    EXPECT_EQ(run("/i=" + in + " /f=" + keyPath), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithKeyFile(plain, shortKey));
}

TEST_F(BatchTest, AnEmptyKeyStringUsesTheDefaultKeyText) {
    std::string in = input();
    EXPECT_EQ(run("/i=" + in + " /s="), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithString(plain, "HarbinLockworks"));
    // A key file that cannot be opened after a key string leaves the empty key string.
    EXPECT_EQ(run("/i=" + in + " /s=k /f=" + (dir / "missing.bin")), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithString(plain, ""));
}

TEST_F(BatchTest, QuotedPathsWithSpaces) {
    TempFolder spaced("with spaces");
    std::string in = spaced / "my report.txt";
    writeWholeFile(in, plain);
    TempFolder out("out folder");
    EXPECT_EQ(run("\"/i=" + in + "\" \"/o=" + out.path + "\" \"/s=two words\""), kExit);
    EXPECT_EQ(readWholeFile(out / "XOR my report.txt"), xorWithString(plain, "two words"));
    // Quotes may stand anywhere inside an argument.
    EXPECT_EQ(run("/i=\"" + in + "\" /s=k\"ey\""), kExit);
    EXPECT_EQ(readWholeFile(spaced / "XOR my report.txt"), xorWithString(plain, "key"));
}

TEST_F(BatchTest, AnInputWithoutAKeyOpensTheWindowWithThatInputLoaded) {
    std::string in = input();
    Program program = startNimbrel("/i=" + in);
    HWND main = waitForMainDialog(program);
    ASSERT_TRUE(main);
    // The switch text itself is not taken for a file name: no read error, the input is shown.
    EXPECT_TRUE(waitUntil([&] { return itemText(main, IDE_INPUT) == in; }));
    EXPECT_EQ(itemText(main, IDB_GO), "Go!");
    EXPECT_FALSE(isEnabled(main, IDB_GO)); // no key yet
    EXPECT_TRUE(isChecked(main, IDO_XOR));
    EXPECT_TRUE(dialogsOf(program.pid).size() == 1u);
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
    EXPECT_FALSE(fileExists(dir / "XOR a.txt"));
}

TEST_F(BatchTest, AnOddNumberOfQuotesIgnoresTheWholeCommandLine) {
    std::string in = input();
    expectWindowNotJob("\"/i=" + in + " /s=k");
    expectWindowNotJob("/i=" + in + " /s=k\"");
    EXPECT_FALSE(fileExists(dir / "XOR a.txt"));
}

TEST_F(BatchTest, AFailedJobShowsInTheExitCode) {
    std::string in = input();
    // The output folder's parent does not exist: the output cannot be created.
    EXPECT_EQ(run("/i=" + in + " /o=" + (dir / "no\\such") + " /s=k"), kExit + 4);
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"a.txt"});
}

TEST_F(BatchTest, ACommandLineOfAnyLengthIsReadSafely) {
    std::string in = input();
    // A long key string and many extra arguments.
    std::string key(500, 'q');
    std::string extras;
    for (int i = 0; i < 200; ++i) {
        extras += " extra" + std::to_string(i);
    }
    EXPECT_EQ(run("/i=" + in + " /s=" + key + extras), kExit);
    EXPECT_EQ(readWholeFile(dir / "XOR a.txt"), xorWithString(plain, key));
    // An output folder longer than a path can hold is refused: the job fails, nothing is written.
    EXPECT_EQ(run("/i=" + in + " /o=" + std::string(700, 'o') + " /s=k"), kExit + 4);
}

TEST_F(BatchTest, AnInputLongerThanAPathIsRefusedLikeAFileThatCannotBeOpened) {
    std::string longPath = dir.path + "\\" + std::string(650, 'x') + ".txt";
    Program program = startNimbrel("/i=" + longPath + " /s=k");
    MessageSeen seen = waitForMessage(program);
    ASSERT_TRUE(seen.box);
    EXPECT_EQ(seen.text.rfind("File Read Error with \"", 0), 0u);
    EXPECT_EQ(seen.text.back(), '"');
    EXPECT_EQ(seen.yes, "OK");
    EXPECT_EQ(seen.no, "Quit Nimbrel");
    answer(seen, true);
    HWND main = waitForMainDialog(program);
    ASSERT_TRUE(main);
    EXPECT_EQ(itemText(main, IDE_INPUT), "None Selected");
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

} // namespace
