// The main window as it opens: its fields, enabled states and marks before the first file,
// and the shell association that every opening writes.
#include <gtest/gtest.h>

#include "engine/container.h"
#include "support/association.h"
#include "support/driver.h"
#include "support/expected.h"
#include "support/win_files.h"

namespace {

const char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

// Points the user's Desktop somewhere else for one test and puts it back after. Wine's shell
// rewrites "Shell Folders" from "User Shell Folders" whenever a program asks for the folder,
// so both are set, as moving the Desktop in Windows does.
class DesktopValue {
  public:
    explicit DesktopValue(const std::string& folder)
        : shellFolder_(read("Shell Folders")), userShellFolder_(read("User Shell Folders")) {
        write("Shell Folders", folder);
        write("User Shell Folders", folder);
    }
    ~DesktopValue() {
        write("Shell Folders", shellFolder_.second, shellFolder_.first);
        write("User Shell Folders", userShellFolder_.second, userShellFolder_.first);
    }
    DesktopValue(const DesktopValue&) = delete;
    DesktopValue& operator=(const DesktopValue&) = delete;

  private:
    static std::pair<DWORD, std::string> read(const char* key) {
        HKEY opened;
        char data[MAX_PATH] = "";
        DWORD type = REG_SZ;
        DWORD size = sizeof data - 1;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kExplorer) + key).c_str(), 0, KEY_READ, &opened) ==
            ERROR_SUCCESS) {
            RegQueryValueExA(opened, "Desktop", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
            RegCloseKey(opened);
        }
        return {type, data};
    }
    static void write(const char* key, const std::string& folder, DWORD type = REG_SZ) {
        HKEY opened;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kExplorer) + key).c_str(), 0, KEY_SET_VALUE,
                          &opened) == ERROR_SUCCESS) {
            RegSetValueExA(opened, "Desktop", 0, type, reinterpret_cast<const BYTE*>(folder.c_str()),
                           DWORD(folder.size() + 1));
            RegCloseKey(opened);
        }
    }
    std::pair<DWORD, std::string> shellFolder_;
    std::pair<DWORD, std::string> userShellFolder_;
};

class OpeningTest : public ::testing::Test {
  protected:
    TempFolder dir{"opening"};
};

TEST_F(OpeningTest, TheWindowOpensIdleWithOnlyTheInputSideEnabled) {
    // A Desktop of our own shows that the field comes from the registry value.
    std::string desktop = dir / "My Desktop";
    CreateDirectoryA(desktop.c_str(), nullptr);
    DesktopValue value(desktop);

    Program program = startNimbrel("");
    HWND main = waitForReadyMainDialog(program);
    ASSERT_TRUE(main) << describe(program);
    EXPECT_EQ(windowText(main), "Nimbrel 1.9");
    EXPECT_EQ(itemText(main, IDE_INPUT), "None Selected");
    EXPECT_EQ(itemText(main, IDE_OUTPUT), desktop);
    EXPECT_EQ(desktopPath(), desktop);
    EXPECT_EQ(enabledPattern(main, kFreeControls), "11111");
    EXPECT_EQ(enabledPattern(main), "0000 000 000 0000000 0 00000 0");
    EXPECT_EQ(itemText(main, IDB_GO), "Decide!");
    // No drive carries a key index here, so the key source is File.
    EXPECT_EQ(marks(main), "XOR File");
    EXPECT_FALSE(isVisible(main, IDP_PROGRESS));
    EXPECT_TRUE(isVisible(main, IDB_HELP));
    EXPECT_TRUE(isVisible(main, IDB_ABOUT));
    EXPECT_EQ(itemText(main, IDE_KEY_FILE), "");
    EXPECT_EQ(itemText(main, IDE_KEY_STRING), "");

    press(main, IDB_CLOSE);
    EXPECT_EQ(program.waitForExit(), kExit);
}

// ---- The shell association ----

std::vector<std::string> subkeysOf(HKEY root, const std::string& key) {
    std::vector<std::string> names;
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return names;
    }
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(opened, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.push_back(name);
    }
    RegCloseKey(opened);
    return names;
}

DWORD valueCount(HKEY root, const std::string& key) {
    HKEY opened;
    DWORD count = 0;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS) {
        RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(opened);
    }
    return count;
}

class AssociationTest : public OpeningTest {
  protected:
    // Removes what an earlier opening wrote, so that every value seen here is this run's.
    static void forgetAssociation() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Applications\\Nimbrel.exe");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.qdx");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Nimbrel");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Applications\\Nimbrel.exe");
        RegDeleteTreeA(HKEY_CURRENT_USER, kFileExts);
    }
    static void openAndClose(const std::string& exe, const std::string& arguments = "") {
        Program program = startProgram(exe, arguments);
        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << exe << ": " << describe(program);
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
};

TEST_F(AssociationTest, EveryOpeningWritesTheTenValuesForTheProgramsOwnFolder) {
    forgetAssociation();
    std::string tools = dir / "Tools";
    CreateDirectoryA(tools.c_str(), nullptr);
    std::string copy = tools + "\\Nimbrel.exe";
    ASSERT_TRUE(CopyFileA(builtProgram().c_str(), copy.c_str(), FALSE));
    openAndClose(copy);
    EXPECT_EQ(associationValues(), expectedAssociation(tools + "\\"));

    // Moving the program is corrected by its next opening, and nothing accumulates.
    openAndClose(builtProgram());
    openAndClose(builtProgram());
    EXPECT_EQ(associationValues(), expectedAssociation(folderOf(builtProgram())));
    EXPECT_EQ(subkeysOf(HKEY_LOCAL_MACHINE, std::string(kClasses) + "Applications\\Nimbrel.exe\\shell"),
              std::vector<std::string>{"DeNimbrel"});
    EXPECT_EQ(subkeysOf(HKEY_LOCAL_MACHINE, std::string(kClasses) + "Nimbrel\\shell"),
              (std::vector<std::string>{"DeNimbrel", "open"}));
    EXPECT_EQ(valueCount(HKEY_CURRENT_USER, kFileExts), 1u);
}

TEST_F(AssociationTest, AContainerOpenedThroughTheShellIsLoadedForDecryption) {
    forgetAssociation();
    openAndClose(builtProgram()); // the association of this build, and nothing of earlier runs

    ContainerHeader header{};
    copyText("report.doc", header.plainName, sizeof header.plainName);
    header.hasDescription = 1;
    copyText("Q3 figures", header.description, sizeof header.description);
    header.attributes = FILE_ATTRIBUTE_ARCHIVE;
    uint8_t bytes[kMaxHeaderLength];
    uint32_t length = encodeHeader(header, bytes);
    Bytes container(bytes, bytes + length);
    Bytes payload = xorWithString(patternBytes(900, 5), "k");
    container.insert(container.end(), payload.begin(), payload.end());
    std::string path = dir / "report.qdx";
    ASSERT_TRUE(writeWholeFile(path, container));

    // A double-click runs the type's default verb, named by no one; Wine's start, mail clients
    // and scripts name "open".
    for (const char* verb : {static_cast<const char*>(nullptr), "open"}) {
        SCOPED_TRACE(verb ? verb : "default verb");
        SHELLEXECUTEINFOA run{};
        run.cbSize = sizeof run;
        run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        run.lpVerb = verb;
        run.lpFile = path.c_str();
        run.nShow = SW_SHOWNORMAL;
        ASSERT_TRUE(ShellExecuteExA(&run)) << GetLastError();
        ASSERT_TRUE(run.hProcess);
        Program program;
        program.process = run.hProcess;
        program.pid = GetProcessId(run.hProcess);

        HWND main = waitForReadyMainDialog(program);
        ASSERT_TRUE(main) << describe(program);
        EXPECT_TRUE(waitUntil([&] { return itemText(main, IDB_GO) == "Go DeNimbrel!"; }));
        EXPECT_EQ(itemText(main, IDE_INPUT), path);
        EXPECT_EQ(itemText(main, IDE_DESCRIPTION), "Q3 figures");
        EXPECT_EQ(marks(main), "Classic File");
        press(main, IDB_CLOSE);
        EXPECT_EQ(program.waitForExit(), kExit);
    }
}

} // namespace
