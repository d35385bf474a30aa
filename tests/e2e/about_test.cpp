// The About dialog: its texts, what its buttons hand to the shell, when it opens, and its
// keyboard. The shell's handlers of web and mail addresses and of folders are pointed at a
// recorder, so each test sees exactly what the program asked the shell to open.
#include <gtest/gtest.h>

#include "support/driver.h"
#include "support/shell_recorder.h"
#include "support/win_files.h"
#include "version.h"

namespace {

const char* const kFoldersTip =
    "Opens the directory where the program was installed as well as the directory where the program data is "
    "stored.";

// Makes Wine report another Windows version to the program (and only to it) for a test.
class ReportedWindows {
  public:
    explicit ReportedWindows(const char* version) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                           DWORD(strlen(version) + 1));
            RegCloseKey(key);
        }
    }
    ~ReportedWindows() { RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }

  private:
    static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\Nimbrel.exe";
};

// Picks an item of the list as the user does: the selection changes and the list tells the dialog.
bool pickItem(HWND about, int position) {
    HWND list = GetDlgItem(about, IDC_ABOUT_ITEMS);
    SendMessageA(list, CB_SETCURSEL, WPARAM(position), 0);
    return sendAndWait(about, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_ITEMS, CBN_SELCHANGE), LPARAM(list));
}

int aboutDialogsOf(const Program& program) {
    int n = 0;
    for (HWND w : dialogsOf(program.pid)) {
        n += isAboutDialog(w) ? 1 : 0;
    }
    return n;
}

std::string toolTipOf(const Program& program, HWND control) {
    for (const auto& [tool, text] : toolTipWindowsOf(program)) {
        if (tool == control) {
            return text;
        }
    }
    return "<none>";
}

std::string clipboardText() {
    std::string text = "<empty>";
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_TEXT)) {
            text = static_cast<const char*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return text;
}

std::string foldersText(const std::string& program, const std::string& data) {
    return "Location of program:\r\n" + program + "\r\n\r\nWhere program stores user data:\r\n" + data;
}

class AboutTest : public ::testing::Test {
  protected:
    // Starts `exe` and opens its About dialog.
    void open(const std::string& exe = builtProgram()) {
        program = startProgram(exe, "");
        main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        press(main, IDB_ABOUT);
        about = waitForDialog(program, isAboutDialog);
        ASSERT_TRUE(about) << describe(program);
    }
    void closeAll() {
        press(about, IDB_ABOUT_CLOSE);
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(about); }));
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }

    Program program;
    HWND main = nullptr;
    HWND about = nullptr;
};

TEST_F(AboutTest, OpensOnTheFoldersItemWithTheFocusOnClose) {
    const std::string folder = folderOf(builtProgram());
    open();
    const size_t tools = toolTipWindowsOf(program).size();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first opening" : "opened again after Close");
        EXPECT_EQ(windowText(about), "About Nimbrel");
        EXPECT_EQ(itemText(about, IDE_ABOUT_MAIL), NIMBREL_SUPPORT_MAIL);
        EXPECT_EQ(itemText(about, IDE_ABOUT_SITE), std::string(NIMBREL_SITE) + "det.php?prog=Nimbrel");
        EXPECT_EQ(SendDlgItemMessageA(about, IDC_ABOUT_ITEMS, CB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(SendDlgItemMessageA(about, IDC_ABOUT_ITEMS, CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(itemText(about, IDC_ABOUT_ITEMS), "Prog Dirs");
        // In portable mode the program keeps its data beside itself: the same folder twice.
        EXPECT_EQ(itemText(about, IDE_ABOUT_INFO), foldersText(folder, folder));
        EXPECT_EQ(itemText(about, IDB_ABOUT_ACTION), "Open Dirs");
        EXPECT_EQ(toolTipOf(program, GetDlgItem(about, IDB_ABOUT_ACTION)), kFoldersTip);
        EXPECT_EQ(focusOf(about), GetDlgItem(about, IDB_ABOUT_CLOSE));
        EXPECT_EQ(toolTipWindowsOf(program).size(), tools);
        if (round == 0) {
            pickItem(about, 1); // leave it on the other item: the next opening starts afresh
            press(about, IDB_ABOUT_CLOSE);
            ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));
            // Its button's tool went with it.
            EXPECT_EQ(toolTipWindowsOf(program).size(), tools - 1);
            press(main, IDB_ABOUT);
            about = waitForDialog(program, isAboutDialog);
            ASSERT_TRUE(about);
        }
    }
    // The information box has grown from its template place down to just above the bottom
    // row: left-aligned with the list, as wide as the row, below the web page field.
    RECT box, row, close, site;
    GetWindowRect(GetDlgItem(about, IDE_ABOUT_INFO), &box);
    GetWindowRect(GetDlgItem(about, IDC_ABOUT_ITEMS), &row);
    GetWindowRect(GetDlgItem(about, IDB_ABOUT_CLOSE), &close);
    GetWindowRect(GetDlgItem(about, IDE_ABOUT_SITE), &site);
    EXPECT_EQ(box.left, row.left);
    EXPECT_NEAR(box.right, close.right, 3);
    EXPECT_GT(box.top, site.bottom);
    EXPECT_LT(box.bottom, row.top);
    EXPECT_GT(box.bottom, row.top - 12);
    // The name, kind and maker's lines.
    std::vector<std::string> statics;
    EnumChildWindows(
        about,
        [](HWND child, LPARAM list) {
            bool icon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
            if (className(child) == "Static" && !icon) {
                reinterpret_cast<std::vector<std::string>*>(list)->push_back(windowText(child));
            }
            return TRUE;
        },
        LPARAM(&statics));
    EXPECT_EQ(statics, (std::vector<std::string>{"Nimbrel 1.9", "XOR File Encrypter", NIMBREL_MAKER_LINE_1,
                                                 NIMBREL_MAKER_LINE_2, NIMBREL_MAKER_LINE_3}));
    closeAll();
}

TEST_F(AboutTest, DiagnosticsNamesTheSystemAsItReportsItself) {
    struct Case {
        const char* version; // Wine's setting; none is its default
        const char* line;
    } cases[] = {{nullptr, "Windows 7 Professional, Service Pack 1"}, {"win10", "Windows 10 Professional"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::unique_ptr<ReportedWindows> reported(c.version ? new ReportedWindows(c.version) : nullptr);
        open();
        ASSERT_TRUE(pickItem(about, 1));
        EXPECT_EQ(itemText(about, IDC_ABOUT_ITEMS), "Diagnostics");
        EXPECT_EQ(itemText(about, IDE_ABOUT_INFO), std::string(c.line) + "\r\n\r\n");
        // For this item the action button copies the line, ready to paste into a message.
        EXPECT_EQ(itemText(about, IDB_ABOUT_ACTION), "Copy");
        EXPECT_EQ(toolTipOf(program, GetDlgItem(about, IDB_ABOUT_ACTION)),
                  "Copies the diagnostics line, for a message to the vendor");
        ASSERT_TRUE(click(about, IDB_ABOUT_ACTION));
        EXPECT_EQ(clipboardText(), c.line);
        EXPECT_TRUE(IsWindow(about));
        // Back to the folders: their caption and tool tip return.
        ASSERT_TRUE(pickItem(about, 0));
        EXPECT_EQ(itemText(about, IDB_ABOUT_ACTION), "Open Dirs");
        EXPECT_EQ(toolTipOf(program, GetDlgItem(about, IDB_ABOUT_ACTION)), kFoldersTip);
        closeAll();
    }
}

TEST_F(AboutTest, MailAndSiteHandTheirExactTextsToTheShell) {
    ShellRecorder recorder({"http", "https", "mailto"});
    ReportedWindows windows10("win10");
    open();
    ASSERT_TRUE(click(about, IDB_ABOUT_MAIL));
    ASSERT_TRUE(recorder.waitForRequests(1));
    ASSERT_TRUE(click(about, IDB_ABOUT_SITE));
    ASSERT_TRUE(recorder.waitForRequests(2));
    std::vector<std::string> expected = {std::string("mailto:") + NIMBREL_SUPPORT_MAIL +
                                             "?subject=Nimbrel&body=v1400 Windows 10 Professional ",
                                         std::string(NIMBREL_SITE) + "det.php?prog=Nimbrel"};
    EXPECT_EQ(recorder.requests(), expected);
    // Neither request changes the dialog.
    EXPECT_TRUE(IsWindow(about));
    EXPECT_EQ(itemText(about, IDC_ABOUT_ITEMS), "Prog Dirs");
    closeAll();
    EXPECT_EQ(recorder.requests().size(), 2u);
}

TEST_F(AboutTest, OpenDirsOpensBothFoldersInPortableMode) {
    ShellRecorder recorder({"Folder", "Directory"});
    const std::string folder = folderOf(builtProgram());
    open();
    ASSERT_TRUE(pickItem(about, 1));
    ASSERT_TRUE(pickItem(about, 0));
    ASSERT_TRUE(click(about, IDB_ABOUT_ACTION));
    ASSERT_TRUE(recorder.waitForRequests(2));
    EXPECT_EQ(recorder.requests(), (std::vector<std::string>{folder, folder}));
    // The dialog shows its first item again, ready for another press.
    EXPECT_EQ(SendDlgItemMessageA(about, IDC_ABOUT_ITEMS, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(itemText(about, IDC_ABOUT_ITEMS), "Prog Dirs");
    EXPECT_EQ(itemText(about, IDE_ABOUT_INFO), foldersText(folder, folder));
    EXPECT_EQ(itemText(about, IDB_ABOUT_ACTION), "Open Dirs");
    closeAll();
}

TEST_F(AboutTest, OpenDirsOpensTheProgramThenTheDataFolderWhenInstalled) {
    ShellRecorder recorder({"Folder", "Directory"});
    auto forgetInstalledFolders = [] {
        removeTree(appDataFolder() + "\\Vostra");
        removeTree(appDataFolder() + "\\Orvensoft");
    };
    forgetInstalledFolders();
    TempFolder place("installed");
    ASSERT_TRUE(CopyFileA(builtProgram().c_str(), (place / "Nimbrel.exe").c_str(), FALSE));
    writeWholeFile(place / "DefSet.txt", Bytes{});
    const std::string programFolder = place.path + "\\";
    const std::string dataFolder = appDataFolder() + "\\Vostra\\Nimbrel\\";
    open(place / "Nimbrel.exe");
    EXPECT_EQ(itemText(about, IDE_ABOUT_INFO), foldersText(programFolder, dataFolder));
    ASSERT_TRUE(click(about, IDB_ABOUT_ACTION));
    ASSERT_TRUE(recorder.waitForRequests(2));
    // Each request starts a recorder of its own, so the log does not keep their order.
    std::vector<std::string> opened = recorder.requests();
    std::sort(opened.begin(), opened.end());
    std::vector<std::string> expected = {programFolder, dataFolder};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(opened, expected);
    EXPECT_EQ(itemText(about, IDE_ABOUT_INFO), foldersText(programFolder, dataFolder));
    closeAll();
    forgetInstalledFolders();
}

TEST_F(AboutTest, OpensOnlyOnce) {
    open();
    // "About" of the main window again, while the dialog is open.
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDB_ABOUT, BN_CLICKED), 0);
    ASSERT_TRUE(settle(about));
    ASSERT_TRUE(settle(main));
    EXPECT_EQ(aboutDialogsOf(program), 1);
    // The main window waits under it.
    EXPECT_FALSE(IsWindowEnabled(main));
    closeAll();
    EXPECT_EQ(aboutDialogsOf(program), 0);
}

TEST_F(AboutTest, EscDoesNothingAndEnterPressesTheFocusedButton) {
    ShellRecorder recorder({"http", "https"});
    open();
    HWND close = GetDlgItem(about, IDB_ABOUT_CLOSE);
    ASSERT_EQ(focusOf(about), close);
    pressKey(close, VK_ESCAPE);
    ASSERT_TRUE(settlePosted(main)); // the Esc has been handled
    EXPECT_TRUE(IsWindow(about));
    EXPECT_TRUE(IsWindowVisible(about));

    // With the focus on "Go to Site", Enter presses that button and the dialog stays.
    HWND site = GetDlgItem(about, IDB_ABOUT_SITE);
    ASSERT_TRUE(sendAndWait(about, WM_NEXTDLGCTL, WPARAM(site), TRUE));
    ASSERT_EQ(focusOf(about), site);
    pressKey(site, VK_RETURN);
    ASSERT_TRUE(recorder.waitForRequests(1));
    EXPECT_EQ(recorder.requests().front(), std::string(NIMBREL_SITE) + "det.php?prog=Nimbrel");
    ASSERT_TRUE(settle(about));
    EXPECT_TRUE(IsWindow(about));

    // Back on "Close", Enter closes the dialog and the main window takes input again.
    ASSERT_TRUE(sendAndWait(about, WM_NEXTDLGCTL, WPARAM(close), TRUE));
    pressKey(close, VK_RETURN);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(about); }));
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

} // namespace
