// Points the shell's handlers of some classes (web pages, web and mail addresses, folders) at
// shell_recorder.exe for the length of a test, and reads back what the program asked the shell
// to open, one line per request.
#pragma once

#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/driver.h"
#include "support/win_files.h"

class ShellRecorder {
  public:
    ShellRecorder(std::initializer_list<const char*> classes = {"htmlfile"}) {
        log = folder / "shell.log";
        SetEnvironmentVariableA("NIMBREL_SHELL_LOG", log.c_str());
        std::string recorder = testProgramFolder() + "shell_recorder.exe";
        std::string command = "\"" + recorder + "\" \"%1\"";
        // A prefix made without the browser engine does not tie ".htm" to web pages.
        setDefault(".htm", "htmlfile");
        for (const char* name : classes) {
            Saved saved{std::string(name) + "\\shell\\open\\command", "", false};
            saved.had = readDefault(saved.key, saved.value);
            setDefault(saved.key, command);
            savedHandlers.push_back(saved);
        }
    }
    ~ShellRecorder() {
        for (const Saved& saved : savedHandlers) {
            if (saved.had) {
                setDefault(saved.key, saved.value);
            } else {
                HKEY key;
                if (RegOpenKeyExA(HKEY_CLASSES_ROOT, saved.key.c_str(), 0, KEY_ALL_ACCESS, &key) ==
                    ERROR_SUCCESS) {
                    RegDeleteValueA(key, nullptr);
                    RegCloseKey(key);
                }
            }
        }
    }
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;

    std::string opened() const {
        Bytes bytes = readWholeFile(log);
        return std::string(bytes.begin(), bytes.end());
    }
    std::vector<std::string> requests() const {
        std::vector<std::string> lines;
        std::string all = opened();
        size_t start = 0, end;
        while ((end = all.find('\n', start)) != std::string::npos) {
            lines.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    // Waits for at least `count` requests; the recorder runs in a process of its own.
    bool waitForRequests(size_t count, DWORD ms = 15000) const {
        return waitUntil([&] { return requests().size() >= count; }, ms);
    }

  private:
    struct Saved {
        std::string key;
        std::string value;
        bool had;
    };
    static bool readDefault(const std::string& name, std::string& value) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        char data[2048] = "";
        DWORD size = sizeof data - 1;
        bool had = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) ==
                   ERROR_SUCCESS;
        RegCloseKey(key);
        value = data;
        return had;
    }
    static void setDefault(const std::string& name, const std::string& value) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           DWORD(value.size() + 1));
            RegCloseKey(key);
        }
    }

    TempFolder folder{"shell"};
    std::string log;
    std::vector<Saved> savedHandlers;
};
