// The key material tools on Windows with real files and drives: drive indexes on removable,
// optical and fixed drives made for the test, the KeyStore's files, and the key generator.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "engine/job.h"
#include "keys/keytools_win.h"
#include "resource.h"
#include "support/win_files.h"
#include "support/wine_drives.h"

namespace {

// A window with the controls the tools read and fill, standing in for the main dialog.
struct ControlHost {
    HWND window;
    ControlHost() {
        window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                 nullptr, nullptr);
        add("COMBOBOX", IDC_DRIVES, CBS_DROPDOWNLIST);
        add("COMBOBOX", IDC_KEY_FILES, CBS_DROPDOWNLIST);
        add("EDIT", IDE_OUTPUT, ES_AUTOHSCROLL);
        add("EDIT", IDE_KEY_FILE, ES_AUTOHSCROLL);
        add("EDIT", IDE_BYTE_COUNT, 0);
        add("BUTTON", IDX_SAVE_KEY_NAME, BS_AUTOCHECKBOX);
    }
    ~ControlHost() { DestroyWindow(window); }
    void add(const char* kind, int id, DWORD style) {
        CreateWindowExA(0, kind, "", WS_CHILD | style, 0, 0, 300, 200, window, HMENU(INT_PTR(id)), nullptr,
                        nullptr);
    }
    std::vector<std::string> items(int id) const {
        std::vector<std::string> texts;
        LRESULT n = SendDlgItemMessageA(window, id, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char text[300] = "";
            SendDlgItemMessageA(window, id, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
            texts.push_back(text);
        }
        return texts;
    }
    std::string text(int id) const {
        char t[600] = "";
        GetDlgItemTextA(window, id, t, sizeof t);
        return t;
    }
    void setText(int id, const std::string& t) { SetDlgItemTextA(window, id, t.c_str()); }
};

class KeyToolsTest : public ::testing::Test {
  protected:
    ControlHost host;
    TempFolder dir{"keys"};
    void SetUp() override {
        resetProgramState(gState);
        gState.dialog.cipherMode = ModeClassic; // no size advice in these tests
    }
};

// ---- Drive key files ----

std::string index(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += std::string(line) + "\r\n";
    }
    return text;
}

class DriveTest : public KeyToolsTest {
  protected:
    TempFolder removable{"removable"};
    TempFolder optical{"optical"};
    TempFolder fixed{"fixed"};
    TempFolder bare{"bare"};
};

TEST_F(DriveTest, OnlyRemovableAndOpticalDrivesWithAnIndexAreListedInLetterOrder) {
    CreateDirectoryA((removable / "keys").c_str(), nullptr);
    writeWholeFile(removable / "keys\\mon.bin", patternBytes(64, 1));
    std::string bigKey = dir / "big.bin";
    writeWholeFile(bigKey, patternBytes(64, 2));
    writeWholeFile(removable / "KeyRing.txt",
                   index({"-20", "# keys for the office", "Monday key", "keys\\mon.bin", "Big key",
                          bigKey.c_str(), "Photo", "photo.jpg"}));
    writeWholeFile(optical / "KeyRing.txt", index({"Disc key", "disc.bin"}));
    writeWholeFile(fixed / "KeyRing.txt", index({"Fixed key", "fixed.bin"}));
    TestDrive n('N', optical.path, DRIVE_CDROM);
    TestDrive l('L', removable.path, DRIVE_REMOVABLE);
    TestDrive m('M', fixed.path, DRIVE_FIXED);
    TestDrive o('O', bare.path, DRIVE_REMOVABLE);
    ASSERT_TRUE(l.made && m.made && n.made && o.made) << "Wine's mount manager refused a drive";

    EXPECT_EQ(scanDrives(host.window), 1u);
    EXPECT_EQ(host.items(IDC_DRIVES), (std::vector<std::string>{"L", "N"}));
    EXPECT_EQ(host.text(IDC_DRIVES), "L");
    EXPECT_EQ(host.items(IDC_KEY_FILES), (std::vector<std::string>{"Monday key", "Big key", "Photo"}));
    EXPECT_EQ(host.text(IDC_KEY_FILES), "Monday key");
    // On the drive when the file is there, as written otherwise.
    EXPECT_STREQ(gState.job.keyPath, "L:/keys\\mon.bin");
    EXPECT_TRUE(selectDriveEntry(1));
    EXPECT_STREQ(gState.job.keyPath, bigKey.c_str());
    EXPECT_FALSE(selectDriveEntry(1));
    EXPECT_TRUE(selectDriveEntry(2));
    EXPECT_STREQ(gState.job.keyPath, "photo.jpg");

    // Another drive's index replaces the list; reading one again never duplicates it.
    SendDlgItemMessageA(host.window, IDC_DRIVES, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(readDriveIndex(host.window), 1u);
    EXPECT_EQ(host.items(IDC_KEY_FILES), std::vector<std::string>{"Disc key"});
    EXPECT_STREQ(gState.job.keyPath, "disc.bin");
    EXPECT_EQ(readDriveIndex(host.window), 1u);
    EXPECT_EQ(host.items(IDC_KEY_FILES), std::vector<std::string>{"Disc key"});
}

TEST_F(DriveTest, WithoutAnIndexNothingIsListedAndTheKeyPathStays) {
    TestDrive o('O', bare.path, DRIVE_REMOVABLE);
    ASSERT_TRUE(o.made);
    copyText("C:\\chosen.bin", gState.job.keyPath);
    EXPECT_EQ(scanDrives(host.window), 0u);
    EXPECT_TRUE(host.items(IDC_DRIVES).empty());
    EXPECT_TRUE(host.items(IDC_KEY_FILES).empty());
    EXPECT_STREQ(gState.job.keyPath, "C:\\chosen.bin");
}

TEST_F(DriveTest, AnIndexThatCannotBeReadGivesNoEntries) {
    writeWholeFile(removable / "KeyRing.txt", index({"Monday key", "mon.bin"}));
    TestDrive l('L', removable.path, DRIVE_REMOVABLE);
    ASSERT_TRUE(l.made);
    ASSERT_EQ(scanDrives(host.window), 1u);
    copyText("kept", gState.job.keyPath);
    // Held by another program: the list empties, the key path stays.
    HANDLE held =
        CreateFileA((removable / "KeyRing.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(readDriveIndex(host.window), 0u);
    CloseHandle(held);
    EXPECT_TRUE(host.items(IDC_KEY_FILES).empty());
    EXPECT_STREQ(gState.job.keyPath, "kept");
    // An index with only names and comments keeps the entries of the last one that had some.
    writeWholeFile(removable / "KeyRing.txt", index({"# nothing here", "ab"}));
    EXPECT_EQ(readDriveIndex(host.window), 0u);
    EXPECT_STREQ(gState.job.keyPath, "kept");
    EXPECT_FALSE(selectDriveEntry(0)); // the selected entry did not change
}

// ---- KeyStore ----

class KeyStoreTest : public KeyToolsTest {
  protected:
    std::string store = appDataFolder() + "\\Orvensoft\\Random\\keyblock.txt";
    std::string firstPad = appDataFolder() + "\\Orvensoft\\Padforge\\PAD.txt";
    std::string secondPad = appDataFolder() + "\\Vostra\\Padforge\\PAD.txt";

    void SetUp() override {
        KeyToolsTest::SetUp();
        clear();
        host.setText(IDE_OUTPUT, dir.path);
    }
    void TearDown() override { clear(); }
    void clear() {
        removeTree(appDataFolder() + "\\Orvensoft");
        removeTree(appDataFolder() + "\\Vostra");
    }
    void pad(const std::string& path, const Bytes& bytes) {
        std::string folder = path.substr(0, path.find_last_of('\\'));
        CreateDirectoryA(folder.substr(0, folder.find_last_of('\\')).c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        ASSERT_TRUE(writeWholeFile(path, bytes));
    }
    void storeWith(const Bytes& bytes) { pad(store, bytes); }
};

TEST_F(KeyStoreTest, TheStatusFollowsTheStoreAndThePadFiles) {
    struct Case {
        const char* what;
        size_t storeSize; // 0: none
        size_t padSize;   // 0: none
        bool secondPlace;
        uint32_t status;
    } cases[] = {
        {"nothing", 0, 0, false, 0},
        {"pad of 1,023 bytes", 0, 1023, false, 3},
        {"pad of 1,024 bytes", 0, 1024, false, 5},
        {"pad in the second place", 0, 2000, true, 5},
        {"store of 4,000 bytes", 4000, 0, false, 4000},
        {"store below the minimum, no pad", 500, 0, false, 10},
        {"store below the minimum, topped up at start", 500, 2000, false, 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        if (c.storeSize) {
            storeWith(patternBytes(c.storeSize, 1));
        }
        if (c.padSize) {
            pad(c.secondPlace ? secondPad : firstPad, patternBytes(c.padSize, 2));
        }
        checkKeyStore(host.window);
        EXPECT_EQ(uint32_t(keyStoreStatus()), c.status);
    }
}

TEST_F(KeyStoreTest, ASetUpMovesThePadIntoANewStoreAndEmptiesIt) {
    Bytes first = patternBytes(5000, 3);
    Bytes second = patternBytes(3000, 4);
    pad(firstPad, first);
    pad(secondPad, second);
    checkKeyStore(host.window);
    ASSERT_EQ(uint32_t(keyStoreStatus()), 5u);
    fillKeyStore(host.window);
    EXPECT_EQ(readWholeFile(store), first);
    EXPECT_TRUE(readWholeFile(firstPad).empty());
    EXPECT_TRUE(fileExists(firstPad));
    EXPECT_EQ(readWholeFile(secondPad), second); // one pad per fill
    EXPECT_EQ(uint32_t(keyStoreStatus()), 5000u);
    // An emptied pad in the first place still counts as the pad file; once it is gone the next
    // fill appends the other place's.
    fillKeyStore(host.window);
    EXPECT_EQ(readWholeFile(store), first);
    DeleteFileA(firstPad.c_str());
    fillKeyStore(host.window);
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(readWholeFile(store), both);
    EXPECT_EQ(uint32_t(keyStoreStatus()), 8000u);
}

TEST_F(KeyStoreTest, APadHeldOpenOrTooSmallIsLeftAlone) {
    storeWith(patternBytes(2000, 5));
    pad(firstPad, patternBytes(1023, 6));
    fillKeyStore(host.window);
    EXPECT_EQ(readWholeFile(store).size(), 2000u);
    EXPECT_EQ(readWholeFile(firstPad).size(), 1023u);
    DeleteFileA(firstPad.c_str());
    pad(secondPad, patternBytes(4000, 6));
    HANDLE held = CreateFileA(secondPad.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    fillKeyStore(host.window);
    CloseHandle(held);
    EXPECT_EQ(readWholeFile(store).size(), 2000u);
    EXPECT_EQ(readWholeFile(secondPad).size(), 4000u);
}

TEST_F(KeyStoreTest, ADrawTakesTheKeyFromTheFrontAndKeepsTheRestInOrder) {
    Bytes data = patternBytes(10000, 7);
    storeWith(data);
    checkKeyStore(host.window);
    gState.job.inputSize = 3000;
    drawKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt"), Bytes(data.begin(), data.begin() + 4096));
    EXPECT_EQ(readWholeFile(store), Bytes(data.begin() + 4096, data.end()));
    EXPECT_EQ(uint32_t(keyStoreStatus()), 5904u);
    EXPECT_STREQ(gState.job.keyPath, (dir / "KeyFile.txt").c_str());
    EXPECT_EQ(gState.job.keyBytes, 4096u);
    EXPECT_EQ(gState.dialog.keyReady, 1u);
    EXPECT_EQ(host.text(IDE_BYTE_COUNT), "4096");
}

TEST_F(KeyStoreTest, ADrawOfMoreThanTheStoreHoldsEmptiesIt) {
    Bytes data = patternBytes(3000, 8);
    storeWith(data);
    gState.job.inputSize = 3000;
    drawKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt"), data);
    EXPECT_TRUE(readWholeFile(store).empty());
    EXPECT_EQ(uint32_t(keyStoreStatus()), 10u);
}

TEST_F(KeyStoreTest, DrawnBytesLeaveTheStoreEvenWhenTheKeyFileCannotBeWritten) {
    Bytes data = patternBytes(5000, 9);
    storeWith(data);
    gState.job.inputSize = 100; // a 128-byte key
    host.setText(IDE_OUTPUT, dir / "missing\\deeper");
    copyText("C:\\old.bin", gState.job.keyPath);
    drawKeyFile(host.window);
    EXPECT_EQ(readWholeFile(store), Bytes(data.begin() + 128, data.end()));
    EXPECT_STREQ(gState.job.keyPath, ""); // the key file choice is cleared
    EXPECT_EQ(gState.dialog.keyReady, 0u);
}

// ---- Key file generator ----

class CreateTest : public KeyToolsTest {};

TEST_F(CreateTest, TheKeyIsTheNextPowerOfTwoAboveTheInputAndIsAdopted) {
    struct Case {
        uint32_t inputSize;
        size_t keyLength;
    } cases[] = {{0, 2}, {1, 2}, {1000, 1024}, {1024, 2048}, {1025, 2048}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inputSize);
        gState.job.inputSize = c.inputSize;
        host.setText(IDE_OUTPUT, dir.path);
        createKeyFile(host.window);
        Bytes key = readWholeFile(dir / "KeyFile.txt");
        EXPECT_EQ(key.size(), c.keyLength);
        EXPECT_STREQ(gState.job.keyPath, (dir / "KeyFile.txt").c_str());
        EXPECT_EQ(gState.job.keyBytes, c.keyLength);
        EXPECT_EQ(host.text(IDE_KEY_FILE), dir / "KeyFile.txt");
        EXPECT_EQ(host.text(IDE_BYTE_COUNT), std::to_string(c.keyLength));
    }
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"KeyFile.txt"}); // no temporary file left
}

TEST_F(CreateTest, AnOlderKeyFileIsReplacedAndTheBytesAreRandom) {
    gState.job.inputSize = 4000;
    writeWholeFile(dir / "KeyFile.txt", Bytes(10, 0));
    host.setText(IDE_OUTPUT, dir.path + "\\");
    createKeyFile(host.window);
    Bytes first = readWholeFile(dir / "KeyFile.txt");
    ASSERT_EQ(first.size(), 4096u);
    host.setText(IDE_OUTPUT, dir.path);
    createKeyFile(host.window);
    Bytes second = readWholeFile(dir / "KeyFile.txt");
    ASSERT_EQ(second.size(), 4096u);
    EXPECT_NE(first, second);
    EXPECT_NE(first, Bytes(4096, 0));
}

TEST_F(CreateTest, AMissingFolderIsCreatedOneLevelDeep) {
    gState.job.inputSize = 10;
    host.setText(IDE_OUTPUT, dir / "new");
    createKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "new\\KeyFile.txt").size(), 16u);
    host.setText(IDE_OUTPUT, dir / "no\\such");
    createKeyFile(host.window);
    EXPECT_STREQ(gState.job.keyPath, "");
    EXPECT_EQ(gState.dialog.keyReady, 0u);
    EXPECT_EQ(host.text(IDE_BYTE_COUNT), "0");
}

TEST_F(CreateTest, AFolderTooLongForTheKeyFilesPathIsRefused) {
    host.setText(IDE_OUTPUT, dir.path + "\\" + std::string(590 - dir.path.size(), 'f'));
    copyText("C:\\old.bin", gState.job.keyPath);
    createKeyFile(host.window);
    EXPECT_STREQ(gState.job.keyPath, "");
    EXPECT_TRUE(folderEntries(dir.path).empty() || folderEntries(dir.path).size() == 1);
}

bool failingSource(void*, uint8_t*, uint32_t) {
    return false;
}

TEST_F(CreateTest, ASourceThatFailsWritesNothingAndKeepsTheOlderKey) {
    writeWholeFile(dir / "KeyFile.txt", std::string("older key"));
    host.setText(IDE_OUTPUT, dir.path);
    copyText("C:\\chosen.bin", gState.job.keyPath);
    EXPECT_FALSE(writeKeyFile(host.window, 4096, failingSource, nullptr));
    Bytes kept = readWholeFile(dir / "KeyFile.txt");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "older key");
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"KeyFile.txt"});
    EXPECT_STREQ(gState.job.keyPath, "C:\\chosen.bin");
}

TEST_F(CreateTest, TheRandomSourcesKeySetIsMadeOnFirstUse) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\Crypto\\RSA\\ZEVK");
    gState.job.inputSize = 100;
    host.setText(IDE_OUTPUT, dir.path);
    createKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt").size(), 128u);
}

} // namespace
