// Windowless runs of the real Nimbrel.exe: switches, their order and case, quoting, outputs
// byte for byte, and the exit code a script sees.
#include <gtest/gtest.h>

#include <algorithm>

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
    DWORD run(const std::string& arguments, const std::string& folder = "") {
        Program program = startNimbrel(arguments, folder);
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
}

// The key the user gave is the key used, or no job runs; an empty output folder is none; paths
// are taken as full paths.
TEST_F(BatchTest, KeysAndPathsAtTheEdges) {
    std::string in = input();
    Bytes storedKey = patternBytes(6000, 5);
    Bytes otherKey = patternBytes(7000, 6);
    ASSERT_TRUE(writeWholeFile(dir / "stored.key", storedKey));
    ASSERT_TRUE(writeWholeFile(dir / "other.key", otherKey));
    std::string container = dir / "c.qdx";
    Bytes stored = makeContainer("a.doc", "", dir / "stored.key", plain, storedKey);
    ASSERT_TRUE(writeWholeFile(container, stored));
    std::string slashed = in;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    const std::vector<std::string> setUp = folderEntries(dir.path);
    struct Case {
        const char* what;
        std::string arguments;
        DWORD exit;
        std::string output;
        Bytes expected;
    } cases[] = {
        {"a key string, then a container", "/s=k /i=" + container, kExit, dir / "XOR c.qdx",
         xorWithString(stored, "k")},
        {"a key file, then a container", "/f=" + (dir / "other.key") + " /i=" + container, kExit,
         dir / "XOR c.qdx", xorWithKeyFile(stored, otherKey)},
        {"a container before the input", "/s=k /i=" + container + " /i=" + in, kExit, dir / "XOR a.txt",
         xorWithString(plain, "k")},
        {"a key file that cannot be used after a key string",
         "/s=k /f=" + (dir / "missing.key") + " /i=" + in,
         kExit + 2,
         "",
         {}},
        {"a key file that cannot be used", "/i=" + in + " /f=" + (dir / "missing.key"), kExit + 2, "", {}},
        {"an empty output folder", "/i=" + in + " /o= /s=k", kExit, dir / "XOR a.txt",
         xorWithString(plain, "k")},
        {"a refused output folder, then an input", "/o=" + std::string(700, 'o') + " /i=" + in + " /s=k",
         kExit, dir / "XOR a.txt", xorWithString(plain, "k")},
        {"relative paths", "/i=a.txt /f=other.key", kExit, dir / "XOR a.txt",
         xorWithKeyFile(plain, otherKey)},
        {"forward slashes", "/i=" + slashed + " /s=k", kExit, dir / "XOR a.txt", xorWithString(plain, "k")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* made : {"XOR a.txt", "XOR c.qdx"}) {
            DeleteFileA((dir / made).c_str());
        }
        EXPECT_EQ(run(c.arguments, dir.path), c.exit);
        if (c.output.empty()) {
            EXPECT_EQ(folderEntries(dir.path), setUp);
        } else {
            EXPECT_EQ(readWholeFile(c.output), c.expected);
        }
    }
}

// A run ended mid-job (Task Manager, log-off) leaves no temporary output: for a decryption it
// would hold plaintext.
TEST_F(BatchTest, ARunEndedMidJobLeavesNothingBehind) {
    std::string big = dir / "big.bin";
    HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 1ll << 30; // 1 GiB of zeros, made without writing them
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    TempFolder out("out");
    Program program = startNimbrel("/i=" + big + " /o=" + out.path + " /s=k");
    std::vector<std::string> seen;
    for (DWORD start = GetTickCount(); seen.empty() && GetTickCount() - start < 20000; Sleep(1)) {
        seen = folderEntries(out.path);
    }
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_NE(seen[0], "XOR big.bin") << "the job ended before it could be stopped";
    TerminateProcess(program.process, 1);
    program.waitForExit();
    EXPECT_TRUE(waitUntil([&] { return folderEntries(out.path).empty(); }, 5000)) << seen[0] << " was left";
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
    HWND main = waitForReadyMainDialog(program);
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
    EXPECT_EQ(run("/i=" + in + " /o=" + std::string(1100, 'o') + " /s=k"), kExit + 4);
}

// A windowless run whose input cannot be used ends with the read error's code, no message and
// no window: a script must not take it for a finished job.
TEST_F(BatchTest, AnInputThatCannotBeUsedEndsTheRunWithTheReadErrorCode) {
    ASSERT_TRUE(writeWholeFile(dir / "empty.txt", Bytes{}));
    ASSERT_TRUE(writeWholeFile(dir / "bad.qdx", Bytes{'Z', 'E', 'V', 'K', '1', '2', '0', '0', 1}));
    const std::string setUp[] = {"/i=" + (dir / "missing.txt") + " /s=k",
                                 "/i=" + (dir / "empty.txt") + " /s=k", "/i=" + (dir / "bad.qdx") + " /s=k",
                                 "/s=k /i=" + dir.path + "\\" + std::string(1100, 'x') + ".txt"};
    for (const std::string& arguments : setUp) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(run(arguments), kExit + 1);
    }
    std::vector<std::string> left = folderEntries(dir.path);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"bad.qdx", "empty.txt"}));
}

} // namespace
