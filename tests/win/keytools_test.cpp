// The key material tools on Windows with real files and drives: drive indexes on removable,
// optical and fixed drives made for the test, the KeyStore's files, and the key generator.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "keys/keyfiles_win.h"
#include "keys/keygen_win.h"
#include "resource.h"
#include "support/win_files.h"
#include "support/wine_drives.h"
#include "ui/dialog.h"
#include "ui/keycommands_win.h"
#include "ui/keysource_win.h"

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
            wchar_t text[300] = L"";
            SendDlgItemMessageW(window, id, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
            texts.push_back(utf8(text));
        }
        return texts;
    }
    std::string text(int id) const {
        wchar_t t[1100] = L"";
        GetDlgItemTextW(window, id, t, 1100);
        return utf8(t);
    }
    void setText(int id, const std::string& t) { SetDlgItemTextA(window, id, t.c_str()); }
};

BOOL CALLBACK findOwnBox(HWND w, LPARAM p) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(w) && GetDlgItem(w, IDE_MESSAGE_TEXT)) {
        *reinterpret_cast<HWND*>(p) = w;
        return FALSE;
    }
    return TRUE;
}

// Answers every message box of this process with its upper button ("OK"), counting them.
struct BoxAnswerer {
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::mutex textLock;
    std::string lastText;
    std::thread thread{[this] { run(); }};
    ~BoxAnswerer() {
        stop = true;
        thread.join();
    }
    void run() {
        HWND last = nullptr;
        while (!stop) {
            EnumWindows(findOwnBox, LPARAM(&last));
            if (last) {
                char text[1024] = "";
                GetDlgItemTextA(last, IDE_MESSAGE_TEXT, text, sizeof text);
                {
                    std::lock_guard<std::mutex> hold(textLock);
                    lastText = text;
                }
                ++answered; // before the click: the box's caller sees the count once it returns
                PostMessageA(GetDlgItem(last, IDB_MESSAGE_YES), BM_CLICK, 0, 0);
                while (!stop && IsWindow(last) && IsWindowVisible(last)) {
                    Sleep(2);
                }
                last = nullptr;
            }
            Sleep(2);
        }
    }
};

class KeyToolsTest : public ::testing::Test {
  protected:
    ControlHost host;
    TempFolder dir{"keys"};
    void SetUp() override {
        resetDialogState(gState.dialog);
        gState.dialog.cipherMode = ModeClassic; // no size advice in these tests
    }
};

KeyStoreStatus only(KeyStoreState state) {
    return KeyStoreStatus{state, 0};
}

KeyStoreStatus ready(uint32_t size) {
    return KeyStoreStatus{KeyStoreState::Ready, size};
}

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
    EXPECT_STREQ(gState.dialog.keyPath, "L:/keys\\mon.bin");
    EXPECT_TRUE(chooseDriveEntry(1));
    EXPECT_STREQ(gState.dialog.keyPath, bigKey.c_str());
    EXPECT_FALSE(chooseDriveEntry(1));
    EXPECT_TRUE(chooseDriveEntry(2));
    EXPECT_STREQ(gState.dialog.keyPath, "photo.jpg");

    // Another drive's index replaces the list; reading one again never duplicates it.
    SendDlgItemMessageA(host.window, IDC_DRIVES, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(showDriveIndex(host.window), 1u);
    EXPECT_EQ(host.items(IDC_KEY_FILES), std::vector<std::string>{"Disc key"});
    EXPECT_STREQ(gState.dialog.keyPath, "disc.bin");
    EXPECT_EQ(showDriveIndex(host.window), 1u);
    EXPECT_EQ(host.items(IDC_KEY_FILES), std::vector<std::string>{"Disc key"});
}

// Index files are read as earlier versions and the tools that write them have them: in the
// system's code page, or in UTF-8 when they start with the byte order mark.
TEST_F(DriveTest, EntriesAreInTheCodePageOrInUtf8BehindTheMark) {
    const std::string western = "Schl\xC3\xBCssel", japanese = "\xE9\x8D\xB5\xE3\x82\xBD";
    char legacy[64] = "";
    BOOL defaulted = FALSE;
    std::wstring w = wide(western);
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.c_str(), -1, legacy, sizeof legacy, nullptr,
                             &defaulted) ||
        defaulted) {
        GTEST_SKIP() << "the code page has no form for " << western;
    }
    writeWholeFile(removable / (western + ".bin"), patternBytes(64, 3));
    writeWholeFile(removable / "KeyRing.txt", index({legacy, (std::string(legacy) + ".bin").c_str()}));
    writeWholeFile(optical / (japanese + ".bin"), patternBytes(64, 4));
    writeWholeFile(optical / "KeyRing.txt",
                   "\xEF\xBB\xBF" + index({japanese.c_str(), (japanese + ".bin").c_str()}));
    TestDrive l('L', removable.path, DRIVE_REMOVABLE);
    TestDrive n('N', optical.path, DRIVE_CDROM);
    ASSERT_TRUE(l.made && n.made) << "Wine's mount manager refused a drive";

    EXPECT_EQ(scanDrives(host.window), 1u);
    EXPECT_EQ(host.items(IDC_KEY_FILES), std::vector<std::string>{western});
    EXPECT_EQ(std::string(gState.dialog.keyPath), "L:/" + western + ".bin");
    SendDlgItemMessageW(host.window, IDC_DRIVES, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(showDriveIndex(host.window), 1u);
    EXPECT_EQ(host.items(IDC_KEY_FILES), std::vector<std::string>{japanese});
    EXPECT_EQ(std::string(gState.dialog.keyPath), "N:/" + japanese + ".bin");
}

TEST_F(DriveTest, WithoutAnIndexNothingIsListedAndTheKeyPathStays) {
    TestDrive o('O', bare.path, DRIVE_REMOVABLE);
    ASSERT_TRUE(o.made);
    copyText("C:\\chosen.bin", gState.dialog.keyPath);
    EXPECT_EQ(scanDrives(host.window), 0u);
    EXPECT_TRUE(host.items(IDC_DRIVES).empty());
    EXPECT_TRUE(host.items(IDC_KEY_FILES).empty());
    EXPECT_STREQ(gState.dialog.keyPath, "C:\\chosen.bin");
}

TEST_F(DriveTest, AnIndexThatCannotBeReadGivesNoEntries) {
    writeWholeFile(removable / "KeyRing.txt", index({"Monday key", "mon.bin"}));
    TestDrive l('L', removable.path, DRIVE_REMOVABLE);
    ASSERT_TRUE(l.made);
    ASSERT_EQ(scanDrives(host.window), 1u);
    copyText("kept", gState.dialog.keyPath);
    // Held by another program: the list empties, the key path stays.
    HANDLE held =
        CreateFileA((removable / "KeyRing.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(showDriveIndex(host.window), 0u);
    CloseHandle(held);
    EXPECT_TRUE(host.items(IDC_KEY_FILES).empty());
    EXPECT_STREQ(gState.dialog.keyPath, "kept");
    // An index with only names and comments keeps the entries of the last one that had some.
    writeWholeFile(removable / "KeyRing.txt", index({"# nothing here", "ab"}));
    EXPECT_EQ(showDriveIndex(host.window), 0u);
    EXPECT_STREQ(gState.dialog.keyPath, "kept");
    EXPECT_FALSE(chooseDriveEntry(0)); // the selected entry did not change
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
        KeyStoreStatus status;
    } cases[] = {
        {"nothing", 0, 0, false, only(KeyStoreState::NoPad)},
        {"pad of 1,023 bytes", 0, 1023, false, only(KeyStoreState::PadTooSmall)},
        {"pad of 1,024 bytes", 0, 1024, false, only(KeyStoreState::NotSetUp)},
        {"pad in the second place", 0, 2000, true, only(KeyStoreState::NotSetUp)},
        {"store of 4,000 bytes", 4000, 0, false, ready(4000)},
        {"store below the minimum, no pad", 500, 0, false, only(KeyStoreState::Empty)},
        {"store below the minimum, topped up at start", 500, 2000, false, ready(2500)},
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
        EXPECT_EQ(keyStoreStatus(), c.status);
    }
}

TEST_F(KeyStoreTest, ASetUpMovesThePadIntoANewStoreAndEmptiesIt) {
    Bytes first = patternBytes(5000, 3);
    Bytes second = patternBytes(3000, 4);
    pad(firstPad, first);
    pad(secondPad, second);
    checkKeyStore(host.window);
    ASSERT_EQ(keyStoreStatus(), only(KeyStoreState::NotSetUp));
    fillKeyStore(host.window);
    EXPECT_EQ(readWholeFile(store), first);
    EXPECT_TRUE(readWholeFile(firstPad).empty());
    EXPECT_TRUE(fileExists(firstPad));
    EXPECT_EQ(readWholeFile(secondPad), second); // one pad per fill
    EXPECT_EQ(keyStoreStatus(), ready(5000));
    // An emptied pad in the first place still counts as the pad file; once it is gone the next
    // fill appends the other place's.
    fillKeyStore(host.window);
    EXPECT_EQ(readWholeFile(store), first);
    DeleteFileA(firstPad.c_str());
    fillKeyStore(host.window);
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(readWholeFile(store), both);
    EXPECT_EQ(keyStoreStatus(), ready(8000));
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
    gState.dialog.inputSize = 3000;
    drawKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt"), Bytes(data.begin(), data.begin() + 4096));
    EXPECT_EQ(readWholeFile(store), Bytes(data.begin() + 4096, data.end()));
    EXPECT_EQ(keyStoreStatus(), ready(5904));
    EXPECT_STREQ(gState.dialog.keyPath, (dir / "KeyFile.txt").c_str());
    EXPECT_EQ(gState.dialog.keyBytes, 4096u);
    EXPECT_TRUE(gState.dialog.keyReady);
    EXPECT_EQ(host.text(IDE_BYTE_COUNT), "4096");
}

TEST_F(KeyStoreTest, ADrawOfMoreThanTheStoreHoldsEmptiesIt) {
    Bytes data = patternBytes(3000, 8);
    storeWith(data);
    gState.dialog.inputSize = 3000;
    drawKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt"), data);
    EXPECT_TRUE(readWholeFile(store).empty());
    EXPECT_EQ(keyStoreStatus(), only(KeyStoreState::Empty));
}

TEST_F(KeyStoreTest, APadThatWouldTakeTheStorePastFourGiBIsRefusedWithAMessage) {
    BoxAnswerer boxes;
    storeWith(patternBytes(2000, 5));
    pad(firstPad, Bytes());
    // 4 GiB less 1,000 bytes, sparse: nothing of it is ever read.
    HANDLE f = CreateFileA(firstPad.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG(1) << 32) - 1000;
    ASSERT_TRUE(SetFilePointerEx(f, end, nullptr, FILE_BEGIN) && SetEndOfFile(f));
    CloseHandle(f);
    fillKeyStore(host.window);
    EXPECT_EQ(boxes.answered, 1);
    EXPECT_EQ(boxes.lastText,
              "Pad file \"" + firstPad +
                  "\" would make the KeyStore larger than 4 GB, which it cannot hold. The pad "
                  "file was left as it is; draw keys from the KeyStore first.");
    EXPECT_EQ(readWholeFile(store).size(), 2000u);
    WIN32_FILE_ATTRIBUTE_DATA padNow{};
    GetFileAttributesExA(firstPad.c_str(), GetFileExInfoStandard, &padNow);
    EXPECT_EQ((uint64_t(padNow.nFileSizeHigh) << 32) | padNow.nFileSizeLow, uint64_t(end.QuadPart));
    EXPECT_EQ(keyStoreStatus(), ready(2000));
}

// ---- KeyStore under faults ----

// Every file operation of a fill or draw is counted; the one numbered `failAt` fails, or, when
// the process "ends" there, it and every later one, so that the files stay as that moment left
// them.
struct FaultPlan {
    int failAt = 0;
    bool endsThere = false;
    int count = 0;
    std::string failedOpen; // the path whose opening failed
} gPlan;

bool failsNow() {
    ++gPlan.count;
    bool fails =
        gPlan.failAt > 0 && (gPlan.endsThere ? gPlan.count >= gPlan.failAt : gPlan.count == gPlan.failAt);
    if (fails) {
        SetLastError(ERROR_ACCESS_DENIED);
    }
    return fails;
}

const KeyFileOps kFaultyOps = {
    [](const char* path, DWORD access, DWORD disposition) {
        if (!failsNow()) {
            return kRealKeyFileOps.open(path, access, disposition);
        }
        gPlan.failedOpen = path;
        return INVALID_HANDLE_VALUE;
    },
    [](HANDLE f, void* b, uint32_t n) { return failsNow() ? int64_t(-1) : kRealKeyFileOps.read(f, b, n); },
    [](HANDLE f, const void* b, uint32_t n) { return !failsNow() && kRealKeyFileOps.write(f, b, n); },
    [](HANDLE f, uint64_t at) { return !failsNow() && kRealKeyFileOps.seek(f, at); },
    [](HANDLE f) { return !failsNow() && kRealKeyFileOps.cut(f); },
    [](HANDLE f) { return !failsNow() && kRealKeyFileOps.flush(f); },
    [](HANDLE f) { return failsNow() ? int64_t(-1) : kRealKeyFileOps.size(f); },
    [](const char* from, const char* to) { return !failsNow() && kRealKeyFileOps.rename(from, to); },
    [](const char* path) { return !failsNow() && kRealKeyFileOps.remove(path); },
    [](const char* path) { return !failsNow() && kRealKeyFileOps.makeFolder(path); },
};

// Pad data whose every 4-byte word is its own number, so that each can be found wherever it went.
Bytes words(uint32_t first, uint32_t count) {
    Bytes bytes(size_t(count) * 4);
    for (uint32_t i = 0; i < count; ++i) {
        for (int b = 0; b < 4; ++b) {
            bytes[size_t(i) * 4 + b] = uint8_t((first + i) >> (8 * b));
        }
    }
    return bytes;
}

void countWords(const Bytes& bytes, std::map<uint32_t, int>& seen) {
    ASSERT_EQ(bytes.size() % 4, 0u);
    for (size_t i = 0; i < bytes.size(); i += 4) {
        ++seen[uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16 |
               uint32_t(bytes[i + 3]) << 24];
    }
}

TEST_F(KeyStoreTest, NoPadByteIsInTwoPlacesWhicheverOperationFailsOrWhereverTheProcessEnds) {
    struct Scenario {
        const char* what;
        uint32_t storeWords; // 0: no store (nor its folders)
        bool padInSecondPlace;
        bool draw;
    } scenarios[] = {
        {"fill", 2500, false, false},
        {"set-up from the second place, no Orvensoft folder", 0, true, false},
        {"draw of a 4,096-byte key", 2500, false, true},
    };
    std::string out = dir / "out";
    std::string earlier = dir / "earlier.bin";
    writeWholeFile(earlier, Bytes(64, 1));
    gState.dialog.inputSize = 3000; // a 4,096-byte key: words 0 to 1023
    BoxAnswerer boxes;
    useKeyFileOps(&kFaultyOps);
    for (const Scenario& s : scenarios) {
        int operations = 0;
        for (int at = 0; at == 0 || at <= operations; ++at) {
            for (bool ends : {false, true}) {
                if (at == 0 && ends) {
                    continue;
                }
                SCOPED_TRACE(std::string(s.what) +
                             (ends ? ": the process ends at operation " : ": operation ") +
                             std::to_string(at) + " fails (0: none)");
                clear();
                removeTree(out);
                CreateDirectoryA(out.c_str(), nullptr);
                host.setText(IDE_OUTPUT, out);
                if (s.storeWords) {
                    storeWith(words(0, s.storeWords));
                }
                Bytes padBytes = s.draw ? Bytes() : words(2500, 1250);
                if (!s.draw) {
                    pad(s.padInSecondPlace ? secondPad : firstPad, padBytes);
                }
                checkKeyStore(host.window);
                adoptKeyFile(nullptr, earlier.c_str()); // a key chosen before

                int shown = boxes.answered;
                gPlan = FaultPlan{at, ends, 0, ""};
                s.draw ? drawKeyFile(host.window) : fillKeyStore(host.window);
                operations = at == 0 ? gPlan.count : operations;
                bool told = boxes.answered > shown;
                // A pad file that will not open counts as absent, without a word.
                bool padAbsent = gPlan.failedOpen == (s.padInSecondPlace ? secondPad : firstPad);
                gPlan = FaultPlan{};
                // What start-up finds next.
                checkKeyStore(host.window);

                std::map<uint32_t, int> seen;
                Bytes padNow = readWholeFile(s.padInSecondPlace ? secondPad : firstPad);
                countWords(padNow, seen);
                countWords(readWholeFile(store), seen);
                countWords(readWholeFile(out + "\\KeyFile.txt"), seen);
                for (uint32_t w = s.storeWords ? 0 : 2500; w < 2500 + (s.draw ? 0 : 1250); ++w) {
                    if (seen[w] > 1) {
                        ADD_FAILURE() << "pad word " << w << " is in " << seen[w] << " places";
                        break;
                    }
                    // Only the drawn key may be lost.
                    if (seen[w] == 0 && !(s.draw && w < 1024)) {
                        ADD_FAILURE() << "pad word " << w << " is lost";
                        break;
                    }
                }
                for (const std::string& name : folderEntries(out)) {
                    EXPECT_EQ(name, "KeyFile.txt"); // no temporary file left behind
                }
                for (const std::string& name : folderEntries(appDataFolder() + "\\Orvensoft\\Random")) {
                    EXPECT_EQ(name, "keyblock.txt");
                }
                bool adopted = std::string(gState.dialog.keyPath) == out + "\\KeyFile.txt";
                if (at == 0) {
                    EXPECT_FALSE(told);
                    EXPECT_TRUE(s.draw ? adopted : padNow.empty()) << "the fault-free run did its work";
                } else if (!ends) {
                    // A failure is said, and never leaves the earlier key chosen as if it were new.
                    EXPECT_TRUE(s.draw ? adopted || told : padNow.empty() || told || padAbsent);
                    if (s.draw) {
                        EXPECT_TRUE(adopted || gState.dialog.keyPath[0] == '\0') << gState.dialog.keyPath;
                    }
                }
            }
        }
        EXPECT_GT(operations, 10) << s.what;
    }
    useKeyFileOps(nullptr);
}

// ---- Key file generator ----

class CreateTest : public KeyToolsTest {};

TEST_F(CreateTest, TheKeyIsTheNextPowerOfTwoAboveTheInputAndIsAdopted) {
    struct Case {
        uint32_t inputSize;
        size_t keyLength;
    } cases[] = {{0, 2}, {1, 2}, {1000, 1024}, {1024, 2048}, {1025, 2048}};
    BoxAnswerer boxes; // "Replace KeyFile.txt" from the second on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inputSize);
        gState.dialog.inputSize = c.inputSize;
        host.setText(IDE_OUTPUT, dir.path);
        createKeyFile(host.window);
        Bytes key = readWholeFile(dir / "KeyFile.txt");
        EXPECT_EQ(key.size(), c.keyLength);
        EXPECT_STREQ(gState.dialog.keyPath, (dir / "KeyFile.txt").c_str());
        EXPECT_EQ(gState.dialog.keyBytes, c.keyLength);
        EXPECT_EQ(host.text(IDE_KEY_FILE), dir / "KeyFile.txt");
        EXPECT_EQ(host.text(IDE_BYTE_COUNT), std::to_string(c.keyLength));
    }
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"KeyFile.txt"}); // no temporary file left
    EXPECT_EQ(boxes.answered, 4);
}

TEST_F(CreateTest, AnOlderKeyFileIsReplacedAndTheBytesAreRandom) {
    BoxAnswerer boxes; // "Replace KeyFile.txt"
    gState.dialog.inputSize = 4000;
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
    gState.dialog.inputSize = 10;
    host.setText(IDE_OUTPUT, dir / "new");
    createKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "new\\KeyFile.txt").size(), 16u);
    host.setText(IDE_OUTPUT, dir / "no\\such");
    createKeyFile(host.window);
    EXPECT_STREQ(gState.dialog.keyPath, "");
    EXPECT_FALSE(gState.dialog.keyReady);
    EXPECT_EQ(host.text(IDE_BYTE_COUNT), "0");
}

TEST_F(CreateTest, AFolderTooLongForTheKeyFilesPathIsRefused) {
    host.setText(IDE_OUTPUT, dir.path + "\\" + std::string(590 - dir.path.size(), 'f'));
    copyText("C:\\old.bin", gState.dialog.keyPath);
    createKeyFile(host.window);
    EXPECT_STREQ(gState.dialog.keyPath, "");
    EXPECT_TRUE(folderEntries(dir.path).empty() || folderEntries(dir.path).size() == 1);
}

bool failingSource(void*, uint8_t*, uint32_t) {
    return false;
}

TEST_F(CreateTest, ASourceThatFailsWritesNothingAndKeepsTheOlderKey) {
    writeWholeFile(dir / "KeyFile.txt", std::string("older key"));
    host.setText(IDE_OUTPUT, dir.path);
    copyText("C:\\chosen.bin", gState.dialog.keyPath);
    KeyFileDraft key;
    ASSERT_TRUE(prepareKeyFile(dir.path.c_str(), key));
    EXPECT_EQ(writeKeyFile(key, 4096, failingSource, nullptr), DraftFillFailed);
    Bytes kept = readWholeFile(dir / "KeyFile.txt");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "older key");
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"KeyFile.txt"});
    EXPECT_STREQ(gState.dialog.keyPath, "C:\\chosen.bin");
}

TEST_F(CreateTest, TheRandomSourcesKeySetIsMadeOnFirstUse) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\Crypto\\RSA\\ZEVK");
    gState.dialog.inputSize = 100;
    host.setText(IDE_OUTPUT, dir.path);
    createKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt").size(), 128u);
}

} // namespace
