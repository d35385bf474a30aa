// Drives the real Nimbrel.exe from another process, as a user would: starts it with a command
// line, finds its windows, reads and presses controls, answers its message boxes, drops files
// on it, reads its tool tips, and reads its exit code.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"

// Nimbrel.exe of this build: it sits beside the test program.
inline std::string builtProgram() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1) + "Nimbrel.exe";
}

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
inline Program startProgram(const std::string& exe, const std::string& arguments, const std::string& folder = "") {
    std::string line = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    Program program;
    if (CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
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

// WM_GETTEXT, unlike GetWindowText, reaches the text of another process's controls.
inline std::string windowText(HWND window) {
    LRESULT n = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(size_t(n) + 1, '\0');
    n = SendMessageA(window, WM_GETTEXT, WPARAM(n + 1), LPARAM(&text[0]));
    text.resize(size_t(n));
    return text;
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
        waitUntil([&] { return !itemText(box, IDB_MESSAGE_YES).empty() && itemText(box, IDB_MESSAGE_YES) != "Yes"; },
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
        return ReadProcessMemory(process, static_cast<const char*>(address) + offset, data, size, nullptr) != 0;
    }
    template <typename T>
    T* at(size_t offset = 0) const {
        return reinterpret_cast<T*>(static_cast<char*>(address) + offset);
    }
};

// Drops one file on the main dialog, as the shell does: a drop block in the program's memory.
// The block stays allocated: the program releases the drop itself.
inline bool dropFile(const Program& program, HWND dialog, const std::string& path) {
    size_t size = sizeof(DROPFILES) + path.size() + 2;
    void* block = VirtualAllocEx(program.process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!block) {
        return false;
    }
    std::vector<char> bytes(size, '\0');
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = FALSE;
    memcpy(bytes.data(), &header, sizeof header);
    memcpy(bytes.data() + sizeof header, path.c_str(), path.size());
    WriteProcessMemory(program.process, block, bytes.data(), size, nullptr);
    return PostMessageA(dialog, WM_DROPFILES, WPARAM(block), 0) != 0;
}

// The tool tips of the program's tool tip control: control id and text, in tool order.
inline std::vector<std::pair<int, std::string>> toolTipsOf(const Program& program) {
    std::vector<std::pair<int, std::string>> tips;
    HWND tip = nullptr;
    while ((tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(tip, &owner);
        if (owner != program.pid) {
            continue;
        }
        LRESULT count = SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0);
        RemoteMemory remote(program.process, sizeof(TOOLINFOA) + 1024);
        for (LRESULT i = 0; i < count; ++i) {
            TOOLINFOA info{};
            info.cbSize = TTTOOLINFOA_V2_SIZE;
            info.lpszText = remote.at<char>(sizeof(TOOLINFOA));
            remote.write(&info, sizeof info);
            char empty = '\0';
            remote.write(&empty, 1, sizeof(TOOLINFOA));
            if (!SendMessageA(tip, TTM_ENUMTOOLSA, WPARAM(i), LPARAM(remote.address))) {
                continue;
            }
            remote.read(&info, sizeof info);
            char text[1024] = "";
            remote.read(text, sizeof text - 1, sizeof(TOOLINFOA));
            tips.emplace_back(GetDlgCtrlID(reinterpret_cast<HWND>(info.uId)), text);
        }
    }
    return tips;
}
