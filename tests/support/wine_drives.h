// Drive letters made for a test under Wine: a letter mapped to a folder and typed removable,
// optical or fixed through Wine's mount manager, the way its configuration tool does it.
#pragma once

#include <windows.h>

#include <winioctl.h>

#include <string>
#include <vector>

// The record Wine's mount manager takes, followed by the Unix path.
struct WineUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// The Unix path of a Windows path, from Wine's own export.
inline std::string unixPathOf(const std::string& windowsPath) {
    using Convert = char* (*)(LPCWSTR);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) {
        return "";
    }
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unix = convert(wide.c_str());
    std::string result = unix ? unix : "";
    if (unix) {
        HeapFree(GetProcessHeap(), 0, unix);
    }
    return result;
}

// Maps `letter` to the Unix folder with the given drive type (DRIVE_REMOVABLE, DRIVE_CDROM,
// DRIVE_FIXED); DRIVE_NO_ROOT_DIR removes the mapping.
inline bool defineDrive(char letter, const std::string& unixPath, UINT type) {
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<char> record(sizeof(WineUnixDrive) + unixPath.size() + 1, '\0');
    auto* drive = reinterpret_cast<WineUnixDrive*>(record.data());
    drive->size = ULONG(record.size());
    drive->type = type;
    drive->letter = WCHAR(letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter);
    if (type != DRIVE_NO_ROOT_DIR) {
        drive->mountPointOffset = USHORT(sizeof(WineUnixDrive));
        memcpy(record.data() + sizeof(WineUnixDrive), unixPath.c_str(), unixPath.size() + 1);
    }
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, record.data(), DWORD(record.size()), nullptr, 0,
                              &returned, nullptr);
    CloseHandle(manager);
    return ok != 0;
}

// A drive for the length of a test.
struct TestDrive {
    char letter;
    bool made;
    TestDrive(char l, const std::string& windowsFolder, UINT type)
        : letter(l), made(defineDrive(l, unixPathOf(windowsFolder), type)) {}
    ~TestDrive() {
        if (made) {
            defineDrive(letter, "", DRIVE_NO_ROOT_DIR);
        }
    }
    std::string root() const { return std::string(1, letter) + ":\\"; }
};
