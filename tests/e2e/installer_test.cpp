// The installer as an administrator and a user meet it: a silent installation, the program it
// installed at work, a file opened through the shell, an upgrade in place and a silent removal
// that takes the program, the shortcut and the association and leaves the user's data. Run by
// scripts/check-installer.sh in a Wine prefix of its own, which names the packages in
// NIMBREL_MSI (this build's) and NIMBREL_MSI_NEWER (the same files as the next version).
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <shobjidl.h>

#include "engine/container.h"
#include "support/association.h"
#include "support/driver.h"
#include "support/win_files.h"

namespace {

// The upgrade code of resources/nimbrel.wxs: the same for every version and kind.
const wchar_t kUpgradeCode[] = L"{6C1D7E52-3B8A-4F0E-9A47-2D5E8B1C9F30}";

std::string environment(const char* name) {
    char value[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? value : "";
}

std::string knownFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Runs msiexec with `arguments` and returns its exit code.
DWORD msiexec(const std::string& arguments) {
    Program run = startProgram(knownFolder(CSIDL_SYSTEM) + "\\msiexec.exe", arguments);
    return run.process ? run.waitForExit(180000) : DWORD(-1);
}

// The installed products of this upgrade code, each as "version publisher", and what
// "Apps and features" lists under the name Nimbrel, as "version publisher".
std::vector<std::string> installedProducts() {
    std::vector<std::string> products;
    wchar_t code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) {
        wchar_t version[64] = L"", publisher[128] = L"";
        DWORD n = 64;
        MsiGetProductInfoW(code, L"VersionString", version, &n);
        n = 128;
        MsiGetProductInfoW(code, L"Publisher", publisher, &n);
        products.push_back(utf8(version) + " " + utf8(publisher));
    }
    return products;
}

std::vector<std::string> appsAndFeaturesEntries() {
    std::vector<std::string> entries;
    const char uninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY opened;
        if (RegOpenKeyExA(root, uninstall, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            continue;
        }
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(opened, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            std::string key = std::string(uninstall) + "\\" + name;
            if (registryText(root, key, "DisplayName") == "Nimbrel") {
                entries.push_back(registryText(root, key, "DisplayVersion") + " " +
                                  registryText(root, key, "Publisher"));
            }
        }
        RegCloseKey(opened);
    }
    return entries;
}

// The icon the product shows in "Apps and features": a file the installer keeps for it.
std::string productIcon() {
    wchar_t code[39];
    if (MsiEnumRelatedProductsW(kUpgradeCode, 0, 0, code) != ERROR_SUCCESS) {
        return "";
    }
    wchar_t icon[MAX_PATH] = L"";
    DWORD n = MAX_PATH;
    MsiGetProductInfoW(code, L"ProductIcon", icon, &n);
    return utf8(icon);
}

// The Start-menu shortcut, in the machine's or the user's Programs folder; empty when neither
// has one.
std::string startMenuShortcut() {
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        std::string link = knownFolder(csidl) + "\\Nimbrel.lnk";
        if (fileExists(link)) {
            return link;
        }
    }
    return "";
}

std::string shortcutTarget(const std::string& link) {
    std::string target;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink)))) {
        return "<no shell link object>";
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = L"";
        if (SUCCEEDED(file->Load(wide(link).c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0))) {
            target = utf8(path);
        }
        file->Release();
    }
    shellLink->Release();
    return target;
}

// The running program started from `exe` by someone else (the shell), once it runs; opened
// as the driver opens the programs it starts itself.
Program findRunningProgram(const std::string& exe) {
    Program found;
    waitUntil([&] {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more && !found.process;
             more = Process32NextW(snapshot, &entry)) {
            if (_wcsicmp(entry.szExeFile, L"Nimbrel.exe") != 0) {
                continue;
            }
            HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
            wchar_t image[MAX_PATH] = L"";
            DWORD n = MAX_PATH;
            if (process && QueryFullProcessImageNameW(process, 0, image, &n) &&
                _wcsicmp(image, wide(exe).c_str()) == 0) {
                found.process = process;
                found.pid = entry.th32ProcessID;
            } else if (process) {
                CloseHandle(process);
            }
        }
        CloseHandle(snapshot);
        return found.process != nullptr;
    });
    return found;
}

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (msi.empty() || newerMsi.empty()) {
            GTEST_SKIP() << "run by scripts/check-installer.sh, which names the packages";
        }
        CoInitialize(nullptr);
    }
    void TearDown() override { CoUninitialize(); }

    std::string msi = environment("NIMBREL_MSI");
    std::string newerMsi = environment("NIMBREL_MSI_NEWER");
    std::string version = environment("NIMBREL_MSI_VERSION");
    std::string newerVersion = environment("NIMBREL_MSI_NEWER_VERSION");
    // A 32-bit package goes where 32-bit programs go.
    std::string installFolder =
        knownFolder(msi.find("-win32.msi") != std::string::npos ? CSIDL_PROGRAM_FILESX86
                                                                : CSIDL_PROGRAM_FILES) +
        "\\Nimbrel\\";
    std::string program = installFolder + "Nimbrel.exe";
    std::string dataFolder = appDataFolder() + "\\Vostra\\Nimbrel\\";
    TempFolder dir{"installer"};
};

TEST_F(InstallerTest, InstallsSilentlyRunsUpgradesInPlaceAndUninstallsKeepingTheUsersData) {
    ASSERT_EQ(installedProducts(), std::vector<std::string>{}) << "the prefix is not fresh";

    // ---- A silent installation, for the machine. Windows makes a double-click's ALLUSERS=2 a 1
    // for an administrator; Wine leaves it 2 and then writes the machine's registry values
    // (HKMU) for the user, so the test asks for the machine outright. ----
    ASSERT_EQ(msiexec("/i \"" + msi + "\" ALLUSERS=1 /qn"), 0u);
    for (const char* file : {"Nimbrel.exe", "nimbrel-cli.exe", "ReadMe.htm", "DefSet.txt"}) {
        EXPECT_TRUE(fileExists(installFolder + file)) << file;
    }
    EXPECT_TRUE(readWholeFile(installFolder + "DefSet.txt").empty());
    std::string shortcut = startMenuShortcut();
    ASSERT_FALSE(shortcut.empty()) << "no Nimbrel.lnk in the Start menu";
    EXPECT_EQ(shortcutTarget(shortcut), program);
    EXPECT_EQ(appsAndFeaturesEntries(), std::vector<std::string>{version + " Vostra Computing"});
    EXPECT_EQ(installedProducts(), std::vector<std::string>{version + " Vostra Computing"});
    EXPECT_TRUE(fileExists(productIcon())) << "product icon: " << productIcon();
    // The installer's association is the program's own, value for value.
    EXPECT_EQ(associationValues(), expectedAssociation(installFolder));

    // ---- The installed program starts and keeps its data in the user's folder. ----
    ASSERT_FALSE(folderExists(dataFolder));
    {
        Program run = startProgram(program, "");
        HWND main = waitForReadyMainDialog(run);
        ASSERT_TRUE(main) << describe(run);
        EXPECT_TRUE(folderExists(dataFolder));
        press(main, IDB_CLOSE);
        EXPECT_EQ(run.waitForExit(), kExit);
    }
    std::string data = dir / "report.txt", key = dir / "pad.bin";
    ASSERT_TRUE(writeWholeFile(data, patternBytes(3000, 1)));
    ASSERT_TRUE(writeWholeFile(key, patternBytes(4096, 7)));
    EXPECT_EQ(startProgram(program, "\"/i=" + data + "\" \"/f=" + key + "\"").waitForExit(60000), kExit);
    EXPECT_TRUE(fileExists(dataFolder + "KeyLedger.txt")) << "the pad's use is recorded in the user's folder";
    EXPECT_FALSE(fileExists(installFolder + "KeyLedger.txt")) << "nothing is written beside the program";

    // ---- A container opened as Wine's start opens it: the shell asked for the verb "open". ----
    ContainerHeader header{};
    copyText("report.doc", header.plainName, sizeof header.plainName);
    header.attributes = FILE_ATTRIBUTE_ARCHIVE;
    uint8_t bytes[kMaxHeaderLength];
    uint32_t length = encodeHeader(header, bytes);
    Bytes container(bytes, bytes + length);
    Bytes payload = patternBytes(500, 3);
    container.insert(container.end(), payload.begin(), payload.end());
    std::string qdx = dir / "report.qdx";
    ASSERT_TRUE(writeWholeFile(qdx, container));
    {
        Program start = startProgram(knownFolder(CSIDL_SYSTEM) + "\\start.exe", "\"" + qdx + "\"");
        ASSERT_TRUE(start.process);
        Program opened = findRunningProgram(program);
        ASSERT_TRUE(opened.process) << "start did not start the installed program";
        HWND main = waitForReadyMainDialog(opened);
        ASSERT_TRUE(main) << describe(opened);
        EXPECT_TRUE(waitUntil([&] { return itemText(main, IDB_GO) == "Go DeNimbrel!"; }));
        EXPECT_EQ(itemText(main, IDE_INPUT), qdx);
        press(main, IDB_CLOSE);
        EXPECT_EQ(opened.waitForExit(), kExit);
    }

    // ---- The next version replaces this one in place. ----
    ASSERT_EQ(msiexec("/i \"" + newerMsi + "\" ALLUSERS=1 /qn"), 0u);
    EXPECT_EQ(installedProducts(), std::vector<std::string>{newerVersion + " Vostra Computing"});
    EXPECT_EQ(appsAndFeaturesEntries(), std::vector<std::string>{newerVersion + " Vostra Computing"});
    EXPECT_TRUE(fileExists(program));
    EXPECT_EQ(shortcutTarget(startMenuShortcut()), program);

    // ---- A silent removal takes the program and leaves the user's data. ----
    std::string keyStore = appDataFolder() + "\\Orvensoft\\Random\\keyblock.txt";
    CreateDirectoryA((appDataFolder() + "\\Orvensoft").c_str(), nullptr);
    CreateDirectoryA((appDataFolder() + "\\Orvensoft\\Random").c_str(), nullptr);
    ASSERT_TRUE(writeWholeFile(keyStore, patternBytes(8192, 9)));
    Bytes ledger = readWholeFile(dataFolder + "KeyLedger.txt");
    ASSERT_EQ(msiexec("/x \"" + newerMsi + "\" /qn"), 0u);
    EXPECT_EQ(installedProducts(), std::vector<std::string>{});
    EXPECT_EQ(appsAndFeaturesEntries(), std::vector<std::string>{});
    EXPECT_FALSE(folderExists(installFolder)) << "the program's folder is left";
    EXPECT_EQ(startMenuShortcut(), "");
    for (const std::string& value : associationValues()) {
        EXPECT_NE(value.find(" = <missing>"), std::string::npos) << value;
    }
    EXPECT_EQ(registryText(HKEY_CLASSES_ROOT, ".qdx", nullptr), "<missing>");
    EXPECT_EQ(readWholeFile(keyStore), patternBytes(8192, 9));
    EXPECT_EQ(readWholeFile(dataFolder + "KeyLedger.txt"), ledger);
}

} // namespace
