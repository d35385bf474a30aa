// Drives the real Nimbrel.exe from another process, as a user would: starts it with a command
// line, finds its windows, reads and presses controls, answers its message boxes, drops files
// on it, reads its tool tips, and reads its exit code.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "resource.h"
#include "support/win_files.h"

// The exit code of every run that ends normally: the window closed, or a windowless job done.
// A failed windowless job adds its result code.
constexpr DWORD kExit = 4194304;

// The folder of the test program itself, with its helper programs.
inline std::string testProgramFolder() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1);
}

// The Nimbrel.exe under test: the one NIMBREL_PROGRAM names (the 32-bit build's, for the
// tests of the shipped program), or else this build's, beside the test program.
inline std::string builtProgram() {
    char named[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NIMBREL_PROGRAM", named, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        return named;
    }
    return testProgramFolder() + "Nimbrel.exe";
}

// The key-use ledger of the programs under test, beside them: each test starts without one, so
// that no test is refused a key because an earlier test used it for other data.
inline void clearKeyLedgers() {
    for (std::string program : {builtProgram(), testProgramFolder() + "nimbrel-cli.exe"}) {
        DeleteFileA((program.substr(0, program.find_last_of('\\') + 1) + "KeyLedger.txt").c_str());
    }
}

struct KeyLedgerClearer : ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { clearKeyLedgers(); }
};

inline const bool kKeyLedgersCleared = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new KeyLedgerClearer);
    return true;
}();

struct Program {
    HANDLE process = nullptr;
    DWORD pid = 0;

    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    Program(Program&& other) noexcept : process(other.process), pid(other.pid) { other.process = nullptr; }
    Program& operator=(Program&& other) noexcept {
        std::swap(process, other.process);
        std::swap(pid, other.pid);
        return *this;
    }
    // A program a test left running is ended with the test.
    ~Program() {
        if (process) {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process, 0xDEAD);
                WaitForSingleObject(process, 5000);
            }
            CloseHandle(process);
        }
    }

    bool running() const { return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

    // The exit code, or STILL_ACTIVE when the program has not ended within `ms`.
    DWORD waitForExit(DWORD ms = 20000) const {
        if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) {
            return STILL_ACTIVE;
        }
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        return code;
    }
};

// Starts `exe` with `arguments` as the rest of its command line (exactly as given: quoting is
// the caller's), in `folder` when one is given.
inline Program startProgram(const std::string& exe, const std::string& arguments,
                            const std::string& folder = "") {
    // In UTF-16, as the shell hands a name on: names outside the code page arrive whole.
    std::wstring line = wide("\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments));
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    Program program;
    std::wstring wideExe = wide(exe), wideFolder = wide(folder);
    if (CreateProcessW(wideExe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : wideFolder.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        program.process = info.hProcess;
        program.pid = info.dwProcessId;
    }
    return program;
}

inline Program startNimbrel(const std::string& arguments, const std::string& folder = "") {
    return startProgram(builtProgram(), arguments, folder);
}

inline std::string className(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// WM_GETTEXT, unlike GetWindowText, reaches the text of another process's controls. In UTF-8.
inline std::string windowText(HWND window) {
    LRESULT n = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(size_t(n) + 1, L'\0');
    n = SendMessageW(window, WM_GETTEXT, WPARAM(n + 1), LPARAM(&text[0]));
    text.resize(size_t(n));
    return utf8(text.c_str());
}

inline std::string itemText(HWND dialog, int id) {
    return windowText(GetDlgItem(dialog, id));
}

inline bool isEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

inline bool isVisible(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != 0;
}

inline bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Presses a button without waiting: a button may open a modal loop in the program.
inline void press(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Waits until `check` holds, polling; false after `ms`.
inline bool waitUntil(const std::function<bool()>& check, DWORD ms = 15000) {
    DWORD start = GetTickCount();
    for (;;) {
        if (check()) {
            return true;
        }
        if (GetTickCount() - start > ms) {
            return false;
        }
        Sleep(25);
    }
}

// The visible top-level dialogs of a process.
inline std::vector<HWND> dialogsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->pid && IsWindowVisible(window) && className(window) == "#32770") {
                s->found.push_back(window);
            }
            return TRUE;
        },
        LPARAM(&search));
    return search.found;
}

// The main dialog carries the progress bar; the message box its message field; the About
// dialog its information box.
inline bool isMainDialog(HWND w) {
    return GetDlgItem(w, IDP_PROGRESS) != nullptr && GetDlgItem(w, IDB_CHOOSE_INPUT) != nullptr;
}
inline bool isMessageBox(HWND w) {
    HWND text = GetDlgItem(w, IDE_MESSAGE_TEXT);
    return text && className(text) == "Edit" && GetDlgItem(w, IDB_MESSAGE_NO) && !GetDlgItem(w, IDP_PROGRESS);
}
inline bool isAboutDialog(HWND w) {
    return GetDlgItem(w, IDE_ABOUT_INFO) != nullptr && GetDlgItem(w, IDC_ABOUT_ITEMS) != nullptr &&
           !GetDlgItem(w, IDP_PROGRESS);
}

inline HWND waitForDialog(const Program& program, bool (*kind)(HWND), DWORD ms = 15000) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND w : dialogsOf(program.pid)) {
                if (kind(w)) {
                    found = w;
                    return true;
                }
            }
            return !program.running();
        },
        ms);
    return found;
}

inline HWND waitForMainDialog(const Program& program, DWORD ms = 15000) {
    return waitForDialog(program, isMainDialog, ms);
}
inline HWND waitForMessageBox(const Program& program, DWORD ms = 15000) {
    return waitForDialog(program, isMessageBox, ms);
}

struct MessageSeen {
    HWND box = nullptr;
    std::string caption;
    std::string text;
    std::string yes;
    std::string no;
    // Average width of the first characters of the text, in pixels: about 9 for the large
    // (20-pixel) font and about 7 for the compact (16-pixel) one.
    double characterWidth = 0;
    bool compact() const { return characterWidth > 0 && characterWidth < 8.0; }
};

inline MessageSeen readMessageBox(HWND box) {
    MessageSeen seen;
    seen.box = box;
    seen.caption = windowText(box);
    seen.text = itemText(box, IDE_MESSAGE_TEXT);
    seen.yes = itemText(box, IDB_MESSAGE_YES);
    seen.no = itemText(box, IDB_MESSAGE_NO);
    HWND edit = GetDlgItem(box, IDE_MESSAGE_TEXT);
    size_t n = 0;
    while (n < seen.text.size() && n < 12 && seen.text[n] != '\r') {
        ++n;
    }
    if (n > 0) {
        LRESULT first = SendMessageA(edit, EM_POSFROMCHAR, 0, 0);
        LRESULT last = SendMessageA(edit, EM_POSFROMCHAR, n, 0);
        if (first != -1 && last != -1 && HIWORD(first) == HIWORD(last)) {
            seen.characterWidth = double(short(LOWORD(last)) - short(LOWORD(first))) / double(n);
        }
    }
    return seen;
}

inline MessageSeen waitForMessage(const Program& program, DWORD ms = 15000) {
    HWND box = waitForMessageBox(program, ms);
    // The texts are set as the box opens; give it that moment.
    if (box) {
        waitUntil(
            [&] {
                return !itemText(box, IDB_MESSAGE_YES).empty() && itemText(box, IDB_MESSAGE_YES) != "Yes";
            },
            3000);
    }
    return box ? readMessageBox(box) : MessageSeen{};
}

inline void answer(const MessageSeen& seen, bool yes) {
    HWND box = seen.box;
    press(box, yes ? IDB_MESSAGE_YES : IDB_MESSAGE_NO);
    waitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

// Memory in the program's process, for messages whose pointers must point into it.
struct RemoteMemory {
    HANDLE process;
    void* address;
    RemoteMemory(HANDLE p, size_t size)
        : process(p), address(VirtualAllocEx(p, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteMemory() {
        if (address) {
            VirtualFreeEx(process, address, 0, MEM_RELEASE);
        }
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    bool write(const void* data, size_t size, size_t offset = 0) {
        return WriteProcessMemory(process, static_cast<char*>(address) + offset, data, size, nullptr) != 0;
    }
    bool read(void* data, size_t size, size_t offset = 0) const {
        return ReadProcessMemory(process, static_cast<const char*>(address) + offset, data, size, nullptr) !=
               0;
    }
    template <typename T>
    T* at(size_t offset = 0) const {
        return reinterpret_cast<T*>(static_cast<char*>(address) + offset);
    }
};

// A drop block for one file, as the shell makes it, written into the program's memory. The
// block stays allocated: the program releases the drop itself.
inline void* remoteDropBlock(const Program& program, const std::string& path) {
    std::wstring name = wide(path);
    size_t size = sizeof(DROPFILES) + (name.size() + 2) * sizeof(wchar_t);
    void* block = VirtualAllocEx(program.process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!block) {
        return nullptr;
    }
    std::vector<char> bytes(size, '\0');
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    memcpy(bytes.data(), &header, sizeof header);
    memcpy(bytes.data() + sizeof header, name.c_str(), name.size() * sizeof(wchar_t));
    WriteProcessMemory(program.process, block, bytes.data(), size, nullptr);
    return block;
}

// Drops one file on the main dialog, as the shell does.
inline bool dropFile(const Program& program, HWND dialog, const std::string& path) {
    void* block = remoteDropBlock(program, path);
    return block && PostMessageA(dialog, WM_DROPFILES, WPARAM(block), 0) != 0;
}

// The tools of one tool tip control as control window and text. The control reads TOOLINFO
// in its own process's layout, so `Ptr` is the pointer type of the program (a 32-bit program's
// tool tips are read by this 64-bit driver too).
template <typename Ptr>
inline void readToolTips(const Program& program, HWND tip, std::vector<std::pair<HWND, std::string>>& tips) {
    struct ToolInfo { // TOOLINFO up to lParam: the version 2 size of both A and W forms
        UINT cbSize, uFlags;
        Ptr hwnd, uId;
        RECT rect;
        Ptr hinst, text, lParam;
    };
    const size_t textAt = sizeof(ToolInfo);
    LRESULT count = SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0);
    RemoteMemory remote(program.process, textAt + 1024 * sizeof(WCHAR));
    const Ptr remoteText = Ptr(reinterpret_cast<UINT_PTR>(remote.at<char>(textAt)));
    for (LRESULT i = 0; i < count; ++i) {
        ToolInfo info{};
        info.cbSize = sizeof info;
        info.text = remoteText;
        remote.write(&info, sizeof info);
        WCHAR none = 0;
        remote.write(&none, sizeof none, textAt);
        if (!SendMessageA(tip, TTM_ENUMTOOLSA, WPARAM(i), LPARAM(remote.address))) {
            continue;
        }
        remote.read(&info, sizeof info);
        char text[1024] = "";
        remote.read(text, sizeof text - 1, textAt);
        // TTM_ENUMTOOLSA hands out at most 80 bytes of text; the wide TTM_GETTEXTW gives the
        // whole of it.
        ToolInfo query{};
        query.cbSize = sizeof query;
        query.hwnd = info.hwnd;
        query.uId = info.uId;
        query.text = remoteText;
        remote.write(&query, sizeof query);
        remote.write(&none, sizeof none, textAt);
        SendMessageA(tip, TTM_GETTEXTW, 1024, LPARAM(remote.address));
        WCHAR whole[1024] = {};
        if (remote.read(whole, sizeof whole - sizeof(WCHAR), textAt) && whole[0] != 0) {
            WideCharToMultiByte(CP_ACP, 0, whole, -1, text, sizeof text, nullptr, nullptr);
        }
        tips.emplace_back(reinterpret_cast<HWND>(UINT_PTR(info.uId)), text);
    }
}

// The tool tips of the program's tool tip control: control window and text, in tool order.
inline std::vector<std::pair<HWND, std::string>> toolTipWindowsOf(const Program& program) {
    std::vector<std::pair<HWND, std::string>> tips;
    BOOL wow64 = FALSE;
    const bool program32 = IsWow64Process(program.process, &wow64) && wow64;
    HWND tip = nullptr;
    while ((tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(tip, &owner);
        if (owner != program.pid) {
            continue;
        }
        if (program32) {
            readToolTips<uint32_t>(program, tip, tips);
        } else {
            readToolTips<UINT_PTR>(program, tip, tips);
        }
    }
    return tips;
}

// The same as control id and text.
inline std::vector<std::pair<int, std::string>> toolTipsOf(const Program& program) {
    std::vector<std::pair<int, std::string>> tips;
    for (const auto& [control, text] : toolTipWindowsOf(program)) {
        tips.emplace_back(GetDlgCtrlID(control), text);
    }
    return tips;
}

// ---- Working the main window: synchronous presses, pickers, held jobs, the registry. ----

// Sends a message and waits for its handling, but never longer than `ms`: false on timeout
// (the program is then busy in a modal loop, or hung).
inline bool sendAndWait(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, DWORD ms = 10000,
                        DWORD_PTR* result = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, ms,
                               result ? result : &ignored) != 0;
}

// Returns once the window's thread is back in its message loop: whatever it was doing for an
// earlier sent message has finished.
inline bool settle(HWND window) {
    return sendAndWait(window, WM_NULL);
}

// Clicks a button and returns when its command has run. Only for commands that open no modal
// loop (no picker, message box or dialog); those are pressed with press(). A user cannot
// click a disabled control, so neither does this.
inline bool click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) {
        return false;
    }
    return sendAndWait(button, BM_CLICK);
}

// The window that has the keyboard focus on the dialog's thread.
inline HWND focusOf(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) ? info.hwndFocus : nullptr;
}

// A key pressed while `target` has the keyboard focus, as the dialog's message loop sees it.
inline void pressKey(HWND target, WPARAM key) {
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, LPARAM(0xC0000001u));
}

// Returns once the dialog's thread has handled what was posted to it so far: a marker posted
// behind it (the progress bar's step, which the program never uses) is seen to arrive.
inline bool settlePosted(HWND dialog) {
    HWND bar = GetDlgItem(dialog, IDP_PROGRESS);
    if (!sendAndWait(bar, PBM_SETSTEP, 1) || !PostMessageA(bar, PBM_SETSTEP, 2, 0)) {
        return false;
    }
    return waitUntil([&] {
        DWORD_PTR before = 0;
        return sendAndWait(bar, PBM_SETSTEP, 2, 0, 10000, &before) && before == 2;
    });
}

// Types a text into a field, as the user would (WM_SETTEXT is carried across processes).
inline bool typeText(HWND dialog, int id, const std::string& text) {
    std::wstring w = wide(text);
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, LPARAM(w.c_str()), SMTO_NORMAL, 10000,
                               &ignored) != 0;
}

// Every top-level window of the process of this class, shown or not.
inline std::vector<HWND> topWindowsOf(DWORD pid, const char* windowClass) {
    std::vector<HWND> found;
    HWND w = nullptr;
    while ((w = FindWindowExA(nullptr, w, windowClass, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) {
            found.push_back(w);
        }
    }
    return found;
}

// A message box of the program exists, shown yet or not: once created it stays until it is
// answered.
inline bool messageBoxExists(const Program& program) {
    for (HWND w : topWindowsOf(program.pid, "#32770")) {
        if (isMessageBox(w)) {
            return true;
        }
    }
    return false;
}

// The open-file picker carries its file name box (0x47C); the folder picker its tree (0x3741).
inline bool isOpenPicker(HWND w) {
    return GetDlgItem(w, 0x47C) != nullptr && !GetDlgItem(w, IDP_PROGRESS);
}
inline bool isFolderPicker(HWND w) {
    return GetDlgItem(w, 0x3741) != nullptr && !GetDlgItem(w, IDP_PROGRESS);
}

// The folder an open-file picker shows (CDM_GETFOLDERPATH, answered into the program's memory).
inline std::string pickerFolder(const Program& program, HWND picker) {
    RemoteMemory remote(program.process, MAX_PATH * sizeof(wchar_t));
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(picker, CDM_GETFOLDERPATH, MAX_PATH, LPARAM(remote.address), SMTO_NORMAL, 5000,
                             &length) ||
        LONG_PTR(length) <= 0) {
        return "";
    }
    wchar_t folder[MAX_PATH] = L"";
    remote.read(folder, (MAX_PATH - 1) * sizeof(wchar_t));
    return utf8(folder);
}

// Waits for the open-file picker, enters `path` as the file name and presses its OK button.
// True when the picker took it and closed.
inline bool pickFile(const Program& program, const std::string& path) {
    HWND picker = waitForDialog(program, isOpenPicker);
    if (!picker) {
        return false;
    }
    HWND name = GetDlgItem(picker, 0x47C);
    if (!waitUntil([&] {
            std::wstring w = wide(path);
            DWORD_PTR ignored = 0;
            return SendMessageTimeoutW(name, WM_SETTEXT, 0, LPARAM(w.c_str()), SMTO_NORMAL, 10000,
                                       &ignored) &&
                   windowText(name) == path;
        })) {
        return false;
    }
    press(picker, IDOK);
    return waitUntil([&] { return !IsWindow(picker); }, 10000);
}

// The name the folder picker shows for its selected folder. The tree reads TVITEM in its own
// process's layout, so `Ptr` is the pointer type of the program, as for the tool tips.
template <typename Ptr>
inline std::string treeItemText(const Program& program, HWND tree, Ptr item) {
    struct TreeItem { // TVITEMA
        UINT mask;
        Ptr hItem;
        UINT state, stateMask;
        Ptr pszText;
        int cchTextMax, iImage, iSelectedImage, cChildren;
        Ptr lParam;
    };
    RemoteMemory remote(program.process, sizeof(TreeItem) + MAX_PATH);
    TreeItem query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = Ptr(reinterpret_cast<UINT_PTR>(remote.at<char>(sizeof(TreeItem))));
    query.cchTextMax = MAX_PATH;
    char name[MAX_PATH] = "";
    if (!remote.write(&query, sizeof query) || !remote.write(name, 1, sizeof(TreeItem)) ||
        !sendAndWait(tree, TVM_GETITEMA, 0, LPARAM(remote.address)) ||
        !remote.read(name, MAX_PATH - 1, sizeof(TreeItem))) {
        return "";
    }
    return name;
}
inline std::string folderPickerSelection(const Program& program, HWND picker) {
    HWND tree = GetDlgItem(picker, 0x3741);
    DWORD_PTR item = 0;
    if (!sendAndWait(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, 5000, &item) || !item) {
        return "";
    }
    BOOL wow64 = FALSE;
    if (IsWow64Process(program.process, &wow64) && wow64) {
        return treeItemText<uint32_t>(program, tree, uint32_t(item));
    }
    return treeItemText<UINT_PTR>(program, tree, UINT_PTR(item));
}

// Waits for the folder picker, selects `folder` in it and presses its OK button.
inline bool pickFolder(const Program& program, const std::string& folder) {
    HWND picker = waitForDialog(program, isFolderPicker);
    if (!picker) {
        return false;
    }
    RemoteMemory remote(program.process, folder.size() + 1);
    if (!remote.write(folder.c_str(), folder.size() + 1)) {
        return false;
    }
    // Wine's picker now and then misses the first request while it expands the tree on the
    // way down; ask again until the folder is the selected one.
    std::string name = folder.substr(folder.find_last_of('\\') + 1);
    bool selected = waitUntil([&] {
        sendAndWait(picker, BFFM_SETSELECTIONA, TRUE, LPARAM(remote.address));
        return folderPickerSelection(program, picker) == name;
    });
    if (!selected) {
        return false;
    }
    press(picker, IDOK);
    return waitUntil([&] { return !IsWindow(picker); }, 10000);
}

// Closes whichever picker is open with its Cancel button.
inline bool cancelPicker(const Program& program, bool (*kind)(HWND)) {
    HWND picker = waitForDialog(program, kind);
    if (!picker) {
        return false;
    }
    press(picker, IDCANCEL);
    return waitUntil([&] { return !IsWindow(picker); }, 10000);
}

// Drops one file and returns when the program has handled the drop. For drops that the
// program is expected to take without a message; with a message the call returns after `ms`.
inline bool dropFileAndWait(const Program& program, HWND dialog, const std::string& path, DWORD ms = 10000) {
    void* block = remoteDropBlock(program, path);
    return block && sendAndWait(dialog, WM_DROPFILES, WPARAM(block), 0, ms);
}

// What became of a program that a test waited for in vain.
inline std::string describe(const Program& program) {
    if (!program.process) {
        return "the program did not start";
    }
    if (program.running()) {
        return "the program is running";
    }
    char code[16];
    snprintf(code, sizeof code, "0x%lX", program.waitForExit(0));
    return std::string("the program ended with exit code ") + code;
}

// The main dialog once its start-up worker has marked the cipher mode, its last step that
// touches the window: from then on only the user changes it.
inline HWND waitForReadyMainDialog(const Program& program, DWORD ms = 15000) {
    HWND main = waitForMainDialog(program, ms);
    if (main && !waitUntil([&] { return isChecked(main, IDO_XOR) || isChecked(main, IDO_CLASSIC); }, ms)) {
        return nullptr;
    }
    return main;
}

// The tool tip texts of the program by control id; `count` how many tools each control has.
struct ToolTipTable {
    std::vector<std::pair<int, std::string>> tools;
    size_t count(int id) const {
        size_t n = 0;
        for (const auto& t : tools) {
            n += t.first == id;
        }
        return n;
    }
    std::string text(int id) const {
        for (const auto& t : tools) {
            if (t.first == id) {
                return t.second;
            }
        }
        return "<no tool>";
    }
};

inline ToolTipTable toolTipTable(const Program& program) {
    return ToolTipTable{toolTipsOf(program)};
}

// A string value of the registry; "<missing>" when the key or value does not exist.
inline std::string registryText(HKEY root, const std::string& key, const char* value) {
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return "<missing>";
    }
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG r = RegQueryValueExA(opened, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (r != ERROR_SUCCESS) {
        return "<missing>";
    }
    if (type != REG_SZ) {
        return "<type " + std::to_string(type) + ">";
    }
    data[size < sizeof data ? size : sizeof data - 1] = '\0';
    return data;
}

// The ids of the threads a process has now.
inline std::vector<DWORD> threadIdsOf(DWORD pid) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return ids;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid) {
            ids.push_back(entry.th32ThreadID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

// Holds the threads a process started after a moment the caller noted (its thread ids then):
// a job worker caught in the middle of its work stays there until released, as on a very slow
// disk, so that what the window does while a job runs can be tested without racing the job.
struct HeldThreads {
    std::vector<HANDLE> threads;
    HeldThreads() = default;
    HeldThreads(const HeldThreads&) = delete;
    HeldThreads& operator=(const HeldThreads&) = delete;
    ~HeldThreads() { release(); }

    size_t hold(DWORD pid, const std::vector<DWORD>& before) {
        for (DWORD id : threadIdsOf(pid)) {
            if (std::find(before.begin(), before.end(), id) != before.end()) {
                continue;
            }
            HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, id);
            if (!thread) {
                continue;
            }
            if (SuspendThread(thread) == DWORD(-1)) {
                CloseHandle(thread);
                continue;
            }
            // Suspension is asynchronous; asking for the context waits until it has happened.
            CONTEXT context{};
            context.ContextFlags = CONTEXT_CONTROL;
            GetThreadContext(thread, &context);
            threads.push_back(thread);
        }
        return threads.size();
    }
    void release() {
        for (HANDLE thread : threads) {
            ResumeThread(thread);
            CloseHandle(thread);
        }
        threads.clear();
    }
};

// The main dialog's job controls, grouped as the window groups them (0 separates groups):
// mode and description; key source; drive lists; key file; key string; output; Go.
// clang-format off
inline const std::vector<int> kJobControls = {
    IDO_XOR, IDO_CLASSIC, IDX_USE_DESCRIPTION, IDE_DESCRIPTION, 0,
    IDO_DRIVE, IDO_FILE, IDO_STRING, 0,
    IDC_DRIVES, IDC_KEY_FILES, IDB_REFRESH, 0,
    IDE_KEY_FILE, IDB_CHOOSE_KEY, IDE_BYTE_COUNT, IDX_SAVE_KEY_NAME, IDB_ANALYSE, IDB_CREATE, IDB_KEYSTORE, 0,
    IDE_KEY_STRING, 0,
    IDB_SAME, IDB_DESKTOP, IDB_ADD_NAME, IDE_OUTPUT, IDB_BROWSE, 0,
    IDB_GO,
};
// clang-format on
// The controls that are never disabled: the input field, its "Choose...", "About", "Help", "Close".
inline const std::vector<int> kFreeControls = {IDE_INPUT, IDB_CHOOSE_INPUT, IDB_ABOUT, IDB_HELP, IDB_CLOSE};

// Which of `ids` are enabled: '1' or '0' each, a blank for each 0 in the list, so that one
// comparison shows every difference at once.
inline std::string enabledPattern(HWND dialog, const std::vector<int>& ids = kJobControls) {
    std::string pattern;
    for (int id : ids) {
        pattern += id == 0 ? ' ' : isEnabled(dialog, id) ? '1' : '0';
    }
    return pattern;
}

// The marks of the mode and key source buttons, e.g. "XOR File" or "Classic String".
inline std::string marks(HWND dialog) {
    std::string text;
    text += isChecked(dialog, IDO_XOR) ? "XOR" : "";
    text += isChecked(dialog, IDO_CLASSIC) ? (text.empty() ? "Classic" : "+Classic") : "";
    text += isChecked(dialog, IDO_DRIVE) ? " Drive" : "";
    text += isChecked(dialog, IDO_FILE) ? " File" : "";
    text += isChecked(dialog, IDO_STRING) ? " String" : "";
    return text;
}

// The user's Desktop folder as the registry names it.
inline std::string desktopPath() {
    return registryText(HKEY_CURRENT_USER,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop");
}

// The folder a path names, with its trailing backslash: "C:\a\b.txt" gives "C:\a\".
inline std::string folderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\') + 1);
}
