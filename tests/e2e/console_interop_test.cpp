// The console tool's Windows build against the real program: the same XOR output as the
// windowless run across the chunk boundary, and containers going both ways between the tool
// and the window.
#include <gtest/gtest.h>

#include "engine/container.h"
#include "support/driver.h"
#include "support/win_files.h"

namespace {

// nimbrel-cli.exe beside the test program; its exit status.
DWORD runTool(const std::string& arguments) {
    Program tool = startProgram(testProgramFolder() + "nimbrel-cli.exe", arguments + " --quiet");
    EXPECT_TRUE(tool.process) << "could not start nimbrel-cli.exe";
    return tool.waitForExit(60000);
}

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

TEST(ConsoleInterop, XorIsTheWindowlessRunsByteForByteAcrossTheChunkBoundary) {
    TempFolder dir("interop");
    // Two chunks, the second of 3 bytes: the key restart, the passed-over bytes and the last
    // partial block all show.
    Bytes plain = patternBytes(25000003, 31);
    std::string input = dir / "a.bin";
    ASSERT_TRUE(writeWholeFile(input, plain));
    struct Case {
        const char* what;
        const char* program; // the windowless run's key switch
        const char* tool;    // the tool's key option
        size_t keyFile;      // a key file of this many bytes, or none
    } cases[] = {
        {"a key string", "/s=k9", "--key-string k9", 0},
        {"a short key file", "/f=", "--key-file ", 7},
        {"a key file of one chunk", "/f=", "--key-file ", 25000000},
        {"a key file beyond one chunk", "/f=", "--key-file ", 25000010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string programKey = c.program, toolKey = c.tool;
        if (c.keyFile) {
            std::string key = dir / "key.bin";
            ASSERT_TRUE(writeWholeFile(key, patternBytes(c.keyFile, 77)));
            programKey += key;
            toolKey += inQuotes(key);
        }
        std::string byProgram = dir / "program", byTool = dir / "tool";
        CreateDirectoryA(byProgram.c_str(), nullptr);
        Program program = startNimbrel("/i=" + input + " " + programKey + " /o=" + byProgram);
        ASSERT_EQ(program.waitForExit(60000), kExit);
        ASSERT_EQ(runTool("xor " + inQuotes(input) + " " + toolKey + " -o " + inQuotes(byTool)), 0u);
        Bytes expected = readWholeFile(byProgram + "\\XOR a.bin");
        ASSERT_EQ(expected.size(), plain.size());
        EXPECT_TRUE(readWholeFile(byTool + "\\XOR a.bin") == expected) << "the tool's output differs";
        DeleteFileA((byProgram + "\\XOR a.bin").c_str());
        DeleteFileA((byTool + "\\XOR a.bin").c_str());
    }
}

TEST(ConsoleInterop, ContainersGoBothWaysBetweenTheToolAndTheWindow) {
    TempFolder dir("interop");
    Bytes plain = patternBytes(70000, 32);
    std::string input = dir / "report.txt";
    std::string key = dir / "key.bin";
    ASSERT_TRUE(writeWholeFile(input, plain));
    ASSERT_TRUE(writeWholeFile(key, patternBytes(90000, 33)));

    // Made by the tool, with the key file's path stored: the window finds the key by itself.
    ASSERT_EQ(runTool("encrypt " + inQuotes(input) + " --key-file " + inQuotes(key) +
                      " --save-key-name --description \"Q3 figures\" -o " + inQuotes(dir / "tool")),
              0u);
    {
        Program program = startNimbrel(inQuotes(dir / "tool\\report.qdx"));
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        EXPECT_EQ(itemText(main, IDE_DESCRIPTION), "Q3 figures");
        EXPECT_EQ(itemText(main, IDE_KEY_FILE), key);
        ASSERT_TRUE(typeText(main, IDE_OUTPUT, dir / "window"));
        press(main, IDB_GO);
        MessageSeen finished = waitForMessage(program);
        ASSERT_TRUE(finished.box);
        EXPECT_NE(finished.text.find("Finished"), std::string::npos) << finished.text;
        answer(finished, true);
        ASSERT_TRUE(settle(main));
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
    EXPECT_TRUE(readWholeFile(dir / "window\\report.txt") == plain);

    // Made by the window with a key string, opened by the tool with the same string.
    {
        Program program = startNimbrel(inQuotes(input));
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        ASSERT_TRUE(click(main, IDO_CLASSIC));
        ASSERT_TRUE(click(main, IDO_STRING));
        ASSERT_TRUE(typeText(main, IDE_KEY_STRING, "correct horse"));
        ASSERT_TRUE(typeText(main, IDE_OUTPUT, dir / "made"));
        press(main, IDB_GO);
        MessageSeen finished = waitForMessage(program);
        ASSERT_TRUE(finished.box);
        answer(finished, true);
        ASSERT_TRUE(settle(main));
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
    Bytes container = readWholeFile(dir / "made\\report.qdx");
    ContainerHeader header{};
    ASSERT_EQ(decodeHeader(container.data(), container.size(), header), HeaderStatus::Ok);
    ASSERT_EQ(runTool("decrypt " + inQuotes(dir / "made\\report.qdx") +
                      " --key-string \"correct horse\" -o " + inQuotes(dir / "back")),
              0u);
    DiskTimes times;
    ASSERT_TRUE(fileTimesOf(dir / "back\\report.txt", times));
    EXPECT_EQ(times.written, header.lastWriteTime);
    EXPECT_EQ(times.accessed, header.lastAccessTime);
    EXPECT_TRUE(readWholeFile(dir / "back\\report.txt") == plain);
}

} // namespace
