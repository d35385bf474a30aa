// Start-up of the real Nimbrel.exe: messages while the command line is read, portable and
// installed mode, and the exit code.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"
#include "support/wine_drives.h"

namespace {

class StartupTest : public ::testing::Test {
  protected:
    TempFolder dir{"startup"};
};

TEST_F(StartupTest, TheReadErrorNamesThePathInTheCompactFont) {
    // The system's reason, in Wine's words; a path longer than the program takes, its length.
    const std::string missing = dir / "missing.txt";
    const std::string tooLong = dir / (std::string(1100, 'x') + "\\missing.txt");
    const struct {
        std::string path, reason;
        bool quit;
    } rows[] = {
        {missing, "file not found.", false},
        {missing, "file not found.", true},
        {tooLong, "the path is longer than the 1039 bytes Nimbrel takes.", false},
    };
    for (const auto& row : rows) {
        const bool quit = row.quit;
        SCOPED_TRACE(row.reason + (quit ? " Quit Nimbrel" : " OK"));
        Program program = startNimbrel("\"/i=" + row.path + "\"");
        MessageSeen seen = waitForMessage(program);
        ASSERT_TRUE(seen.box);
        EXPECT_EQ(seen.caption, "Nimbrel 1.9");
        EXPECT_EQ(seen.text, "File Read Error with \"" + row.path + "\": " + row.reason);
        EXPECT_EQ(seen.yes, "OK");
        EXPECT_EQ(seen.no, "Quit Nimbrel");
        EXPECT_TRUE(seen.compact()) << seen.characterWidth;
        EXPECT_TRUE(GetWindowLongA(seen.box, GWL_EXSTYLE) & WS_EX_TOPMOST);
        // Before the window exists either answer goes on: no input, so the window opens.
        answer(seen, !quit);
        HWND main = waitForMainDialog(program);
        ASSERT_TRUE(main);
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
}

TEST_F(StartupTest, TheVersionErrorUsesTheLargeFontAndLeavesTheFileUnloaded) {
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"another signature", Bytes{'Z', 'E', 'V', 'K', '1', '2', '0', '0', 1, 2, 3}},
        {"shorter than its header",
         [] {
             Bytes b(200, 0);
             memcpy(b.data(), "ZEVK1300", 8);
             return b;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = dir / "notes.qdx";
        writeWholeFile(path, c.bytes);
        Program program = startNimbrel("/i=" + path);
        MessageSeen seen = waitForMessage(program);
        ASSERT_TRUE(seen.box);
        EXPECT_EQ(
            seen.text,
            "Nimbrel file version error. You need to use the same version of Nimbrel that encrypted the file.");
        EXPECT_EQ(seen.yes, "OK");
        EXPECT_EQ(seen.no, "Quit Nimbrel");
        EXPECT_FALSE(seen.compact()) << seen.characterWidth;
        answer(seen, true);
        HWND main = waitForMainDialog(program);
        ASSERT_TRUE(main);
        EXPECT_FALSE(isEnabled(main, IDB_GO));
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
        EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"notes.qdx"});
    }
}

TEST_F(StartupTest, EscAnswersNoAndThereIsNoCloseBox) {
    Program program = startNimbrel("/i=" + (dir / "missing.txt"));
    MessageSeen seen = waitForMessage(program);
    ASSERT_TRUE(seen.box);
    EXPECT_FALSE(GetWindowLongA(seen.box, GWL_STYLE) & WS_SYSMENU);
    PostMessageA(seen.box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(seen.box); }));
    HWND main = waitForMainDialog(program);
    ASSERT_TRUE(main);
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

// A copy of the program in a folder of its own, with or without the marker "DefSet.txt".
class ModeTest : public StartupTest {
  protected:
    std::string installedFolder() { return appDataFolder() + "\\Vostra\\Nimbrel"; }
    void forgetInstalledFolders() {
        removeTree(appDataFolder() + "\\Vostra");
        removeTree(appDataFolder() + "\\Orvensoft");
    }
    std::string copyProgram(bool marker) {
        std::string exe = dir / "Nimbrel.exe";
        EXPECT_TRUE(CopyFileA(builtProgram().c_str(), exe.c_str(), FALSE));
        if (marker) {
            writeWholeFile(dir / "DefSet.txt", Bytes{});
        }
        return exe;
    }
    // The data folder as the About dialog shows it.
    std::string shownDataFolder(const std::string& exe) {
        Program program = startProgram(exe, "");
        HWND main = waitForMainDialog(program);
        if (!main) {
            return "<no window>";
        }
        press(main, IDB_ABOUT);
        HWND about = waitForDialog(program, isAboutDialog);
        std::string info = about ? itemText(about, IDE_ABOUT_INFO) : "<no About>";
        if (about) {
            press(about, IDB_ABOUT_CLOSE);
        }
        waitUntil([&] { return !about || !IsWindow(about); });
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
        size_t at = info.find("Where program stores user data:\r\n");
        return at == std::string::npos ? info : info.substr(at + 33);
    }
};

TEST_F(ModeTest, WithoutTheMarkerTheDataStaysBesideTheProgram) {
    forgetInstalledFolders();
    std::string exe = copyProgram(false);
    EXPECT_EQ(shownDataFolder(exe), dir.path + "\\");
    EXPECT_FALSE(folderExists(appDataFolder() + "\\Vostra"));
    EXPECT_FALSE(folderExists(appDataFolder() + "\\Orvensoft"));
}

TEST_F(ModeTest, TheMarkerSelectsInstalledModeAndItsFolders) {
    forgetInstalledFolders();
    std::string exe = copyProgram(true);
    EXPECT_EQ(shownDataFolder(exe), installedFolder() + "\\");
    EXPECT_TRUE(folderExists(appDataFolder() + "\\Orvensoft"));
    EXPECT_TRUE(folderExists(installedFolder()));
    // A second start finds them present and goes on without a message.
    EXPECT_EQ(shownDataFolder(exe), installedFolder() + "\\");
    forgetInstalledFolders();
}

TEST_F(ModeTest, OnARemovableDriveTheProgramStaysPortableEvenWithTheMarker) {
    forgetInstalledFolders();
    TempFolder medium("stick");
    ASSERT_TRUE(CopyFileA(builtProgram().c_str(), (medium / "Nimbrel.exe").c_str(), FALSE));
    writeWholeFile(medium / "DefSet.txt", Bytes{});
    TestDrive stick('S', medium.path, DRIVE_REMOVABLE);
    ASSERT_TRUE(stick.made);
    EXPECT_EQ(shownDataFolder("S:\\Nimbrel.exe"), "S:\\");
    EXPECT_FALSE(folderExists(appDataFolder() + "\\Vostra"));
    EXPECT_FALSE(folderExists(appDataFolder() + "\\Orvensoft"));
}

TEST_F(ModeTest, AWindowlessJobAlsoSettlesTheMode) {
    forgetInstalledFolders();
    std::string exe = copyProgram(true);
    std::string in = dir / "a.txt";
    writeWholeFile(in, patternBytes(100, 1));
    Program program = startProgram(exe, "/i=" + in + " /s=k");
    EXPECT_EQ(program.waitForExit(), kExit);
    EXPECT_TRUE(folderExists(installedFolder()));
    forgetInstalledFolders();
}

} // namespace
