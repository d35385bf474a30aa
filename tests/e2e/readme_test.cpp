// "Help" and every "Open ReadMe" answer hand the ReadMe beside the program to the shell.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/win_files.h"

namespace {

// Registers the recorder as the handler of .htm files for the length of a test.
class ShellRecorder {
  public:
    ShellRecorder() {
        log = folder / "shell.log";
        SetEnvironmentVariableA("NIMBREL_SHELL_LOG", log.c_str());
        std::string recorder = builtProgram();
        recorder = recorder.substr(0, recorder.find_last_of('\\') + 1) + "shell_recorder.exe";
        std::string command = "\"" + recorder + "\" \"%1\"";
        // A prefix made without the browser engine does not tie ".htm" to web pages.
        HKEY extension;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, ".htm", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &extension,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(extension, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("htmlfile"), 9);
            RegCloseKey(extension);
        }
        HKEY key;
        RegCreateKeyExA(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        DWORD size = sizeof previous;
        hadPrevious = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(previous),
                                       &size) == ERROR_SUCCESS;
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       DWORD(command.size() + 1));
        RegCloseKey(key);
    }
    ~ShellRecorder() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\command", 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            if (hadPrevious) {
                RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(previous),
                               DWORD(strlen(previous) + 1));
            } else {
                RegDeleteValueA(key, nullptr);
            }
            RegCloseKey(key);
        }
    }
    std::string opened() const {
        Bytes bytes = readWholeFile(log);
        return std::string(bytes.begin(), bytes.end());
    }

  private:
    TempFolder folder{"shell"};
    std::string log;
    char previous[1024] = "";
    bool hadPrevious = false;
};

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
    EXPECT_EQ(program.waitForExit(), 4194304u);
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
    EXPECT_EQ(program.waitForExit(), 4194304u);
}

} // namespace
