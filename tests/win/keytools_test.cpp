// The key material tools on Windows with real files and drives: drive indexes on removable,
// optical and fixed drives made for the test, the KeyStore's files, and the key generator.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "keys/keyfiles_win.h"
#include "keys/keygen_win.h"
#include "keys/keystore.h"
#include "resource.h"
#include "support/win_files.h"
#include "support/wine_drives.h"
#include "ui/commands_win.h"
#include "ui/dialog.h"
#include "ui/keycommands_win.h"
#include "ui/keysource_win.h"

namespace {

// A window with the controls the tools read and fill, standing in for the main dialog.
struct ControlHost {
    HWND window;
    // As the main dialog does, whoever changes a field: its text goes into the dialog's state.
    static LRESULT CALLBACK keepFields(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
            keepDialogField(w, LOWORD(wParam));
        }
        return CallWindowProcA(staticProc(), w, message, wParam, lParam);
    }
    static WNDPROC& staticProc() {
        static WNDPROC proc = nullptr;
        return proc;
    }
    ControlHost() {
        window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                 nullptr, nullptr);
        staticProc() = WNDPROC(SetWindowLongPtrA(window, GWLP_WNDPROC, LONG_PTR(keepFields)));
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
    std::vector<std::string> texts;
    size_t count() {
        std::lock_guard<std::mutex> hold(textLock);
        return texts.size();
    }
    std::vector<std::string> textsFrom(size_t first) {
        std::lock_guard<std::mutex> hold(textLock);
        return std::vector<std::string>(texts.begin() + long(first), texts.end());
    }
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
                    texts.push_back(text);
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
    checkKeyStore(host.window);
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
// them. `failWhen` fails the operations it picks besides, with `error`.
struct FaultPlan {
    int failAt = 0;
    bool endsThere = false;
    int count = 0;
    std::string failedOpen; // the path whose opening failed
    std::function<bool(const char* operation, const std::string& path)> failWhen;
    DWORD error = ERROR_ACCESS_DENIED;
    std::function<void()> onPause; // another copy of the program, finishing while this one waits
    int pauses = 0;
} gPlan;

// What each file holds as written and as last flushed (nullopt: no file), so that an end of the
// process can also lose what the disk never got, as a power cut does.
struct DiskModel {
    std::map<HANDLE, std::string> paths;
    std::map<HANDLE, uint64_t> positions;
    std::map<std::string, std::optional<Bytes>> written, flushed;

    void opened(HANDLE h, const std::string& path, DWORD disposition, const std::optional<Bytes>& before) {
        if (!written.count(path)) {
            written[path] = flushed[path] = before;
        }
        if (disposition == CREATE_NEW || disposition == CREATE_ALWAYS || !written[path]) {
            written[path] = Bytes();
        }
        paths[h] = path;
        positions[h] = 0;
    }
    void wrote(HANDLE h, const void* bytes, uint32_t n) {
        Bytes& file = *written[paths[h]];
        uint64_t at = positions[h];
        if (file.size() < at + n) {
            file.resize(size_t(at + n));
        }
        std::memcpy(file.data() + at, bytes, n);
        positions[h] = at + n;
    }
    void renamed(const std::string& from, const std::string& to) {
        written[to] = written[from];
        flushed[to] = flushed[from];
        written[from] = flushed[from] = std::nullopt;
    }
    // The process ended: every file goes back to what its last flush left.
    void crash() {
        for (auto& [path, now] : written) {
            const std::optional<Bytes>& kept = flushed[path];
            if (now != kept) {
                kept ? (void)writeWholeFile(path, *kept) : (void)DeleteFileA(path.c_str());
            }
        }
        *this = DiskModel{};
    }
} gDisk;

bool failsNow(const char* operation, const std::string& path) {
    ++gPlan.count;
    bool fails =
        gPlan.failAt > 0 && (gPlan.endsThere ? gPlan.count >= gPlan.failAt : gPlan.count == gPlan.failAt);
    if (fails) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else if (gPlan.failWhen && gPlan.failWhen(operation, path)) {
        SetLastError(gPlan.error);
        fails = true;
    }
    return fails;
}

std::string pathOf(HANDLE f) {
    return gDisk.paths.count(f) ? gDisk.paths[f] : "";
}

const KeyFileOps kFaultyOps = {
    [](const char* path, DWORD access, DWORD disposition) {
        if (failsNow("open", path)) {
            gPlan.failedOpen = path;
            return INVALID_HANDLE_VALUE;
        }
        std::optional<Bytes> before;
        if (fileExists(path) && !(GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY)) {
            before = readWholeFile(path);
        }
        HANDLE h = kRealKeyFileOps.open(path, access, disposition);
        if (h != INVALID_HANDLE_VALUE) {
            gDisk.opened(h, path, disposition, before);
        }
        return h;
    },
    [](HANDLE f, void* b, uint32_t n) {
        int64_t got = failsNow("read", pathOf(f)) ? int64_t(-1) : kRealKeyFileOps.read(f, b, n);
        gDisk.positions[f] += got > 0 ? uint64_t(got) : 0;
        return got;
    },
    [](HANDLE f, const void* b, uint32_t n) {
        bool wrote = !failsNow("write", pathOf(f)) && kRealKeyFileOps.write(f, b, n);
        if (wrote) {
            gDisk.wrote(f, b, n);
        }
        return wrote;
    },
    [](HANDLE f, uint64_t at) {
        gDisk.positions[f] = at;
        return !failsNow("seek", pathOf(f)) && kRealKeyFileOps.seek(f, at);
    },
    [](HANDLE f) {
        bool cut = !failsNow("cut", pathOf(f)) && kRealKeyFileOps.cut(f);
        if (cut) {
            gDisk.written[pathOf(f)]->resize(size_t(gDisk.positions[f]));
        }
        return cut;
    },
    [](HANDLE f) {
        bool flushed = !failsNow("flush", pathOf(f)) && kRealKeyFileOps.flush(f);
        if (flushed) {
            gDisk.flushed[pathOf(f)] = gDisk.written[pathOf(f)];
        }
        return flushed;
    },
    [](HANDLE f) { return failsNow("size", pathOf(f)) ? int64_t(-1) : kRealKeyFileOps.size(f); },
    [](const char* from, const char* to) {
        bool renamed = !failsNow("rename", from) && kRealKeyFileOps.rename(from, to);
        if (renamed) {
            gDisk.renamed(from, to);
        }
        return renamed;
    },
    [](const char* path) {
        bool removed = !failsNow("remove", path) && kRealKeyFileOps.remove(path);
        if (removed) {
            gDisk.written[path] = gDisk.flushed[path] = std::nullopt;
        }
        return removed;
    },
    [](const char* path) { return !failsNow("makeFolder", path) && kRealKeyFileOps.makeFolder(path); },
    [](uint32_t) {
        ++gPlan.pauses;
        if (gPlan.onPause) {
            gPlan.onPause();
        }
    },
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

Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes slice(const Bytes& bytes, size_t from, size_t to = SIZE_MAX) {
    return Bytes(bytes.begin() + long(from), bytes.begin() + long(std::min(to, bytes.size())));
}

// How many of the files hold each pad word; words at or past kNoWord are not pad words.
constexpr uint32_t kNoWord = 1u << 22;
std::vector<uint8_t> countWords(std::initializer_list<Bytes> files) {
    std::vector<uint8_t> seen(kNoWord);
    for (const Bytes& bytes : files) {
        EXPECT_EQ(bytes.size() % 4, 0u);
        for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            uint32_t w = uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16 |
                         uint32_t(bytes[i + 3]) << 24;
            if (w < kNoWord) {
                ++seen[w];
            }
        }
    }
    return seen;
}

std::string aroundPath(const char* lead, const std::string& path, const char* tail) {
    return lead + ("\"" + path + "\"") + tail;
}

std::string journalOf(KeyStoreChange change, uint32_t place, uint64_t storeSize, uint64_t length,
                      const std::string& draft = "") {
    KeyStoreJournal journal{change, place, storeSize, length, ""};
    copyText(draft.c_str(), journal.draft);
    uint8_t bytes[kJournalBytes];
    encodeKeyStoreJournal(journal, bytes);
    return std::string(bytes, bytes + kJournalBytes);
}

TEST_F(KeyStoreTest, NoPadByteIsInTwoPlacesWhicheverOperationFailsOrWhereverTheProcessEnds) {
    struct Scenario {
        const char* what;
        uint32_t storeWords; // 0: no store (nor its folders)
        uint32_t padWords;   // 0: no pad; more than one copy portion in two of them
        bool padInSecondPlace;
        bool draw;
        bool recoveryFails; // the next start's operations fail too (small files: many runs)
    } scenarios[] = {
        {"fill", 2500, 263000, false, false, false},
        {"set-up from the second place, no Orvensoft folder", 0, 1250, true, false, true},
        {"draw of a 4,096-byte key over an older KeyFile.txt", 263000, 0, false, true, false},
        {"draw from a small store", 2500, 0, false, true, true},
    };
    std::string out = dir / "out";
    std::string key = out + "\\KeyFile.txt";
    std::string journal = appDataFolder() + "\\Orvensoft\\Random\\keyblock.jnl";
    std::string storeDraft = appDataFolder() + "\\Orvensoft\\Random\\keyblock.new";
    Bytes olderKey = words(kNoWord + 7, 64); // the only key to some earlier files
    std::string earlier = dir / "earlier.bin";
    writeWholeFile(earlier, Bytes(64, 1));
    gState.dialog.inputSize = 3000; // a 4,096-byte key: words 0 to 1023
    BoxAnswerer boxes;              // "Replace KeyFile.txt", and OK to every notice
    useKeyFileOps(&kFaultyOps);
    for (const Scenario& s : scenarios) {
        const std::string padPath = s.padInSecondPlace ? secondPad : firstPad;
        const uint32_t firstWord = s.storeWords ? 0 : 2500;
        const uint32_t padWord = s.storeWords ? s.storeWords : 2500;
        const uint32_t lastWord = s.padWords ? padWord + s.padWords : s.storeWords;
        const Bytes storeBytes = s.storeWords ? words(0, s.storeWords) : Bytes();
        const Bytes padBytes = s.padWords ? words(padWord, s.padWords) : Bytes();
        const Bytes newKey = s.draw ? slice(storeBytes, 0, 4096) : Bytes();
        // The large draw replaces an older key (after the question); the small one, run far more
        // often, has none to keep the runs short.
        const Bytes older = s.draw && !s.recoveryFails ? olderKey : Bytes();
        // Each fault of the first run is tried alone and as the end of the process; after an
        // end, each operation of the next start's recovery is tried the same way.
        int operations = 0;
        for (int at = 0; at == 0 || at <= operations; ++at) {
            for (bool ends : {false, true}) {
                int recoveryOperations = 0;
                bool recordLeft = true; // until the first run of this fault shows otherwise
                for (int again = 0; again == 0 || (recordLeft && again <= recoveryOperations); ++again) {
                    for (bool endsAgain : {false, true}) {
                        if ((at == 0 && ends) || (again == 0 && endsAgain)) {
                            continue;
                        }
                        SCOPED_TRACE(std::string(s.what) +
                                     (ends ? ": the process ends at operation " : ": operation ") +
                                     std::to_string(at) + " fails (0: none); at the next start, operation " +
                                     std::to_string(again) + (endsAgain ? " ends it" : " fails"));
                        clear();
                        removeTree(out);
                        CreateDirectoryA(out.c_str(), nullptr);
                        host.setText(IDE_OUTPUT, out);
                        if (s.storeWords) {
                            storeWith(storeBytes);
                        }
                        if (s.padWords) {
                            pad(padPath, padBytes);
                        }
                        if (!older.empty()) {
                            writeWholeFile(key, older);
                        }
                        checkKeyStore(host.window);
                        adoptKeyFile(nullptr, earlier.c_str()); // a key chosen before

                        size_t shown = boxes.count();
                        gDisk = DiskModel{};
                        gPlan = FaultPlan{};
                        gPlan.failAt = at;
                        gPlan.endsThere = ends;
                        s.draw ? drawKeyFile(host.window) : fillKeyStore(host.window);
                        operations = at == 0 ? gPlan.count : operations;
                        std::vector<std::string> told = boxes.textsFrom(shown);
                        bool padAbsent = gPlan.failedOpen == padPath; // counts as no pad, without a word
                        Bytes padNow = readWholeFile(padPath);
                        Bytes storeNow = readWholeFile(store);
                        Bytes keyNow = readWholeFile(key);
                        bool adopted = std::string(gState.dialog.keyPath) == key;
                        if (ends) {
                            gDisk.crash();
                        }
                        recordLeft = s.recoveryFails && ends && fileExists(journal);

                        // The next start, with its own fault, then one without.
                        gPlan = FaultPlan{};
                        gPlan.failAt = again;
                        gPlan.endsThere = endsAgain;
                        checkKeyStore(host.window);
                        recoveryOperations = again == 0 ? gPlan.count : recoveryOperations;
                        if (endsAgain) {
                            gDisk.crash();
                        }
                        gPlan = FaultPlan{};
                        checkKeyStore(host.window);

                        std::vector<uint8_t> seen =
                            countWords({readWholeFile(padPath), readWholeFile(store), readWholeFile(key)});
                        for (uint32_t w = firstWord; w < lastWord; ++w) {
                            if (seen[w] > 1) {
                                ADD_FAILURE() << "pad word " << w << " is in " << int(seen[w]) << " places";
                                break;
                            }
                            if (seen[w] == 0 && !(s.draw && w < 1024)) { // only the drawn key may be lost
                                ADD_FAILURE() << "pad word " << w << " is lost";
                                break;
                            }
                        }
                        Bytes keyAfter = readWholeFile(key);
                        EXPECT_TRUE(keyAfter == older || keyAfter == newKey)
                            << "KeyFile.txt holds " << keyAfter.size() << " bytes of neither key";
                        EXPECT_EQ(folderEntries(out).size(), keyAfter.empty() ? 0u : 1u)
                            << "a temporary file is left";
                        for (const std::string& name :
                             folderEntries(appDataFolder() + "\\Orvensoft\\Random")) {
                            EXPECT_TRUE(name == "keyblock.txt" || name == "keyblock.lck") << name;
                        }
                        if (s.padWords) {
                            EXPECT_EQ(folderEntries(padPath.substr(0, padPath.rfind('\\'))).size(), 1u);
                        }

                        // Every message is one of these, word for word, and true of the files.
                        const std::string padUnchanged = aroundPath(kPadFileLead, padPath, kFillUndoneTail);
                        const std::string pending = aroundPath(kKeyStoreFileLead, journal, kPendingTail);
                        const std::string keyLost = aroundPath(kKeyFileLead, key, kDrawLostTail);
                        const std::vector<std::string> noKey = {
                            aroundPath(kKeyFileLead, key, kDrawUndoneTail),
                            aroundPath(kKeyStoreFileLead, store, kDrawUndoneTail),
                            aroundPath(kKeyStoreFileLead, storeDraft, kDrawUndoneTail),
                            aroundPath(kKeyStoreFileLead, journal, kDrawUndoneTail)};
                        const std::string cannotMake = aroundPath(kKeyStoreFileLead, store, kCannotMakeTail);
                        bool said = false;
                        for (const std::string& text : told) {
                            if (text.rfind(kKeyFileExistsLead, 0) == 0) {
                                continue; // the question before the draw
                            }
                            said = true;
                            if (ends) {
                                continue; // said by a process that has ended: nobody reads it
                            }
                            if (text == padUnchanged) {
                                EXPECT_TRUE(padNow == padBytes && storeNow == storeBytes) << text;
                            } else if (std::find(noKey.begin(), noKey.end(), text) != noKey.end()) {
                                EXPECT_TRUE(storeNow == storeBytes && keyNow == older && !adopted) << text;
                            } else if (text == keyLost) {
                                EXPECT_TRUE(storeNow == slice(storeBytes, 4096) && keyNow == older) << text;
                            } else if (text != pending && text != cannotMake) {
                                ADD_FAILURE() << "unexpected message: " << text;
                            }
                        }
                        if (!ends && !said) {
                            // Nothing said: the work was done.
                            EXPECT_TRUE(s.draw ? adopted && keyNow == newKey : padNow.empty() || padAbsent)
                                << "a failure went unsaid";
                        }
                        if (s.draw && !adopted) {
                            EXPECT_TRUE(gState.dialog.keyPath[0] == '\0')
                                << "an older key stays chosen as if new";
                        }
                    }
                }
            }
        }
        EXPECT_GT(operations, 10) << s.what;
    }
    useKeyFileOps(nullptr);
}

// The world around one program: another copy, the pad maker, a drive taken away, a record that
// does not fit the files. Each row sets the files up, acts as the user or start-up would, and
// checks the files and every word said.
TEST_F(KeyStoreTest, TheStoreHoldsAgainstOtherProgramsChangedFilesAndMissingDrives) {
    const std::string folder = appDataFolder() + "\\Orvensoft\\Random";
    const std::string journal = folder + "\\keyblock.jnl";
    const std::string lock = folder + "\\keyblock.lck";
    const std::string out = dir / "out";
    const std::string key = out + "\\KeyFile.txt";
    const std::string draft = out + "\\nbk4Q7ZX2.tmp";
    const Bytes a = words(0, 2500);    // the store before
    const Bytes p = words(2500, 1250); // the pad that went in
    const Bytes q = words(3750, 500);  // what the pad maker added to the pad since
    const Bytes r = words(4250, 1250); // a new pad of the old one's size
    const Bytes older = words(kNoWord + 1, 16);
    HANDLE held = INVALID_HANDLE_VALUE; // another copy's hold on the store
    auto hold = [&] {
        held = CreateFileA(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    };
    auto letGo = [&] {
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    };
    auto record = [&](const std::string& bytes) { ASSERT_TRUE(writeWholeFile(journal, bytes)); };
    enum Act { Start, Fill, Draw };
    struct Row {
        const char* what;
        std::function<void()> setUp;
        Act act;
        Bytes store, pad, second, keyFile; // the files after it (an empty pad: emptied or none)
        std::string said;                  // the one message, word for word; empty: none
        std::function<void()> check;       // anything more
    };
    std::string busy = aroundPath(kKeyStoreFileLead, store, kKeyStoreBusyTail);
    Row rows[] = {
        {"another copy holds the store with its record of a fill under way",
         [&] {
             storeWith(a);
             pad(firstPad, p);
             record(journalOf(KeyStoreChange::FillAppending, 0, a.size(), p.size()));
             hold();
         },
         Fill,
         a,
         p,
         {},
         {},
         busy,
         [&] {
             EXPECT_TRUE(fileExists(journal)) << "another copy's record was taken for a crash's";
             EXPECT_GT(gPlan.pauses, 10);
             letGo();
         }},
        {"another copy finishes while this one waits",
         [&] {
             storeWith(a);
             pad(firstPad, p);
             hold();
             gPlan.onPause = [&] {
                 if (gPlan.pauses == 3) {
                     letGo();
                 }
             };
         },
         Fill,
         join(a, p),
         {},
         {},
         {},
         "",
         nullptr},
        {"the pad maker added to the pad after its front went in",
         [&] {
             storeWith(join(a, p));
             pad(firstPad, join(p, q));
             record(journalOf(KeyStoreChange::FillAppended, 0, a.size(), p.size()));
         },
         Start,
         join(a, p),
         q,
         {},
         {},
         "",
         nullptr},
        {"a new pad of the old one's size after its front went in",
         [&] {
             storeWith(join(a, p));
             pad(firstPad, r);
             record(journalOf(KeyStoreChange::FillAppended, 0, a.size(), p.size()));
         },
         Start,
         a,
         r,
         {},
         {},
         "",
         nullptr},
        {"a record of a fill from the second place, whose pad never went in",
         [&] {
             storeWith(join(a, p));
             pad(secondPad, r);
             record(journalOf(KeyStoreChange::FillAppended, 1, a.size(), p.size()));
         },
         Start,
         a,
         {},
         r,
         {},
         "",
         nullptr},
        {"a record of a fill into an empty store, planted",
         [&] {
             storeWith(a);
             pad(firstPad, p);
             record(journalOf(KeyStoreChange::FillAppending, 0, 0, uint64_t(1) << 30));
         },
         Start,
         a,
         p,
         {},
         {},
         "",
         nullptr},
        {"a draw ended after its draft, and the output drive away at the next start",
         [&] {
             storeWith(a);
             writeWholeFile(draft, slice(a, 0, 4096));
             writeWholeFile(folder + "\\keyblock.new", slice(a, 4096));
             record(journalOf(KeyStoreChange::Draw, 0, a.size(), 4096, draft));
             MoveFileA(out.c_str(), (out + "-away").c_str());
         },
         Start,
         slice(a, 4096),
         {},
         {},
         {},
         aroundPath(
             kRecoveredLossLead, key,
             ": its folder is gone or out of reach. The 4096 bytes drawn for it have left the KeyStore and "
             "are given up, so that no other key can ever repeat them; press KeyStore again for a new key."),
         [&] {
             MoveFileA((out + "-away").c_str(), out.c_str()); // the drive is back, with the draft
             EXPECT_FALSE(fileExists(folder + "\\keyblock.new"));
         }},
        {"a draw ended between its two renames",
         [&] {
             storeWith(slice(a, 4096));
             writeWholeFile(key, older);
             writeWholeFile(draft, slice(a, 0, 4096));
             record(journalOf(KeyStoreChange::Draw, 0, a.size(), 4096, draft));
         },
         Start,
         slice(a, 4096),
         {},
         {},
         slice(a, 0, 4096),
         aroundPath(kRecoveredKeyLead, key,
                    " (4096 bytes). It was drawn for one file: use it for that file alone."),
         nullptr},
        {"a record of a draw whose draft is on a device path",
         [&] {
             storeWith(a);
             writeWholeFile(draft, older);
             record(journalOf(KeyStoreChange::Draw, 0, a.size(), 4096, "\\\\?\\" + draft));
         },
         Start,
         slice(a, 4096),
         {},
         {},
         {},
         aroundPath(
             kRecoveredLossLead, "\\\\?\\" + key,
             ": its folder is gone or out of reach. The 4096 bytes drawn for it have left the KeyStore and "
             "are given up, so that no other key can ever repeat them; press KeyStore again for a new key."),
         [&] { EXPECT_EQ(readWholeFile(draft), older) << "recovery reached through a device path"; }},
        {"KeyFile.txt is a folder",
         [&] {
             storeWith(a);
             CreateDirectoryA(key.c_str(), nullptr);
         },
         Draw,
         a,
         {},
         {},
         {},
         aroundPath(kKeyFileLead, key, kKeyFileBlockedTail),
         nullptr},
        {"another copy emptied the store after the user was asked",
         [&] {
             storeWith(a);
             writeWholeFile(key, older);
             gPlan.failWhen = [&](const char* operation, const std::string& path) {
                 if (std::string(operation) == "open" && path == lock) {
                     writeWholeFile(store, Bytes()); // just before this copy takes the store
                 }
                 return false;
             };
         },
         Draw,
         {},
         {},
         {},
         older,
         aroundPath(kKeyStoreFileLead, store, kDrawShortTail),
         nullptr},
        {"no room on the disk for the rest of the store",
         [&] {
             storeWith(a);
             writeWholeFile(key, older);
             gPlan.error = ERROR_DISK_FULL;
             gPlan.failWhen = [](const char* operation, const std::string& path) {
                 return std::string(operation) == "write" && path.find("keyblock.new") != std::string::npos;
             };
         },
         Draw,
         a,
         {},
         {},
         older,
         aroundPath(kKeyStoreFileLead, folder + "\\keyblock.new", kDrawNoRoomTail),
         nullptr},
        {"a fill whose mark landed but whose flush failed",
         [&] {
             storeWith(a);
             pad(firstPad, p);
             gPlan.failWhen = [&, flushes = 0](const char* operation, const std::string& path) mutable {
                 return std::string(operation) == "flush" && path == journal && ++flushes == 2;
             };
         },
         Fill,
         join(a, p),
         {},
         {},
         {},
         "",
         nullptr},
    };
    gState.dialog.inputSize = 3000; // a 4,096-byte key
    BoxAnswerer boxes;
    useKeyFileOps(&kFaultyOps);
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        clear();
        removeTree(out);
        removeTree(out + "-away");
        CreateDirectoryA(out.c_str(), nullptr);
        host.setText(IDE_OUTPUT, out);
        gPlan = FaultPlan{};
        gDisk = DiskModel{};
        if (row.act == Draw) {
            storeWith(a); // measured as the user saw it
            checkKeyStore(host.window);
        }
        row.setUp();
        size_t shown = boxes.count();
        row.act == Start  ? checkKeyStore(host.window)
        : row.act == Fill ? fillKeyStore(host.window)
                          : drawKeyFile(host.window);
        if (held != INVALID_HANDLE_VALUE && row.check == nullptr) {
            letGo();
        }
        std::vector<std::string> said;
        for (const std::string& text : boxes.textsFrom(shown)) {
            if (text.rfind(kKeyFileExistsLead, 0) != 0) {
                said.push_back(text);
            }
        }
        EXPECT_EQ(said, row.said.empty() ? std::vector<std::string>() : std::vector<std::string>{row.said});
        if (row.check) {
            row.check();
        }
        EXPECT_TRUE(readWholeFile(store) == row.store)
            << readWholeFile(store).size() << " bytes in the store";
        EXPECT_TRUE(readWholeFile(firstPad) == row.pad)
            << readWholeFile(firstPad).size() << " bytes in the pad";
        EXPECT_TRUE(readWholeFile(secondPad) == row.second);
        EXPECT_TRUE(readWholeFile(key) == row.keyFile)
            << readWholeFile(key).size() << " bytes in KeyFile.txt";
        std::vector<uint8_t> seen =
            countWords({readWholeFile(store), readWholeFile(firstPad), readWholeFile(secondPad),
                        readWholeFile(key), readWholeFile(draft)});
        EXPECT_LE(*std::max_element(seen.begin(), seen.end()), 1) << "a pad word is in two places";
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
    BoxAnswerer boxes; // where each key went, and "Replace KeyFile.txt" from the second on
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
    EXPECT_EQ(boxes.answered, 5 + 4);
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
    BoxAnswerer boxes; // where the key went, and the write error
    gState.dialog.inputSize = 10;
    host.setText(IDE_OUTPUT, dir / "new");
    createKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "new\\KeyFile.txt").size(), 16u);
    host.setText(IDE_OUTPUT, dir / "no\\such");
    createKeyFile(host.window);
    EXPECT_STREQ(gState.dialog.keyPath, "");
    EXPECT_FALSE(gState.dialog.keyReady);
    EXPECT_EQ(host.text(IDE_BYTE_COUNT), "0");
    // Where the key went and why none was written, each with its whole path.
    const std::vector<std::string> said = boxes.textsFrom(0);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0], aroundPath(kKeyFileWrittenLead, dir / "new\\KeyFile.txt", kKeyFileWrittenTail));
    const std::string writeError = "File Write Error with \"" + (dir / "no\\such\\KeyFile.txt") + "\": ";
    EXPECT_EQ(said[1].substr(0, writeError.size()), writeError);
    EXPECT_GT(said[1].size(), writeError.size() + 2) << "no reason given";
}

TEST_F(CreateTest, AFolderTooLongForTheKeyFilesPathIsRefused) {
    BoxAnswerer boxes; // the refusal
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
    BoxAnswerer boxes; // where the key went
    gState.dialog.inputSize = 100;
    host.setText(IDE_OUTPUT, dir.path);
    createKeyFile(host.window);
    EXPECT_EQ(readWholeFile(dir / "KeyFile.txt").size(), 128u);
}

} // namespace
