// Peak memory of the job and the key tools on big inputs, under wine64 (run with a display):
//   a 1 GiB XOR job as the windowless run makes it, with a key string and with a 1 GiB key file,
//   Create for an input just under 1 GiB (a 1 GiB key) and for one of 1 GiB (a 2 GiB key),
//   a KeyStore fill that moves a 1 GiB pad into an empty store, and a draw that then moves the
//   1 GiB store forward.
// Prints the process's peak private memory before and after each.
#include <windows.h>

#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "resource.h"
#include "ui/dialog.h"
#include "ui/keycommands_win.h"
#include "ui/worker_win.h"

namespace {

PROCESS_MEMORY_COUNTERS counters() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return c;
}

double peakMiB() {
    return double(counters().PeakPagefileUsage) / (1024.0 * 1024.0);
}

// Wine counts pages straight from the system (the job's buffers) only here, as the whole Wine
// process's resident peak.
double peakResidentMiB() {
    return double(counters().PeakWorkingSetSize) / (1024.0 * 1024.0);
}

HWND host() {
    HWND window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    for (int id : {IDE_OUTPUT, IDE_KEY_FILE, IDE_BYTE_COUNT}) {
        CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, window, HMENU(INT_PTR(id)), nullptr, nullptr);
    }
    return window;
}

void fillFile(const std::string& path, uint64_t size) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    static char block[1 << 20];
    for (uint64_t done = 0; done < size; done += sizeof block) {
        DWORD put;
        block[0] = char(done >> 20);
        WriteFile(f, block, DWORD(sizeof block), &put, nullptr);
    }
    CloseHandle(f);
}

} // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "nimbrel_memory";
    CreateDirectoryA(folder.c_str(), nullptr);

    // First, while the peak is still the program's own: the job's work buffers are the whole of
    // its memory, whatever the file's size.
    std::string data = folder + "\\input.bin";
    std::string key = folder + "\\key.bin";
    fillFile(data, uint64_t(1) << 30);
    fillFile(key, uint64_t(1) << 30);
    for (bool keyFile : {false, true}) {
        JobRequest job;
        resetJobRequest(job);
        copyText(data.c_str(), job.inputPath);
        copyText(folder.c_str(), job.outputFolder);
        job.keyKind = keyFile ? KeyKind::File : KeyKind::Text;
        copyText(key.c_str(), job.keyPath);
        job.keyBytes = 1u << 30;
        copyText("HarbinLockworks", job.keyText);
        JobStatus status;
        double before = peakMiB();
        double residentBefore = peakResidentMiB();
        DWORD start = GetTickCount();
        uint32_t result = jobWorker(job, status, nullptr, JobFront{JobRunHooks{}, nullptr}).result;
        printf("XOR job of 1 GiB, key %s: result %u in %.1f s, peak private memory %.1f MiB (%.1f before), "
               "peak resident %.1f MiB (%.1f before)\n",
               keyFile ? "file of 1 GiB" : "string", result, (GetTickCount() - start) / 1000.0, peakMiB(),
               before, peakResidentMiB(), residentBefore);
        DeleteFileA((folder + "\\XOR input.bin").c_str());
    }
    DeleteFileA(data.c_str());
    DeleteFileA(key.c_str());

    HWND window = host();
    SetDlgItemTextA(window, IDE_OUTPUT, folder.c_str());
    gState.dialog.cipherMode = ModeClassic;

    for (uint32_t input : {1073741823u, 1073741824u}) {
        double before = peakMiB();
        DWORD start = GetTickCount();
        gState.dialog.inputSize = input;
        createKeyFile(window);
        printf("Create, input %u bytes: key %u bytes in %.1f s, peak private memory %.1f MiB (%.1f before)\n",
               input, gState.dialog.keyBytes, (GetTickCount() - start) / 1000.0, peakMiB(), before);
        DeleteFileA((folder + "\\KeyFile.txt").c_str());
    }

    char appData[MAX_PATH];
    SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE);
    std::string store = std::string(appData) + "\\Orvensoft\\Random\\keyblock.txt";
    CreateDirectoryA((std::string(appData) + "\\Orvensoft").c_str(), nullptr);
    CreateDirectoryA((std::string(appData) + "\\Orvensoft\\Random").c_str(), nullptr);
    std::string pad = std::string(appData) + "\\Orvensoft\\Padforge\\PAD.txt";
    CreateDirectoryA((std::string(appData) + "\\Orvensoft\\Padforge").c_str(), nullptr);
    DeleteFileA(store.c_str());
    fillFile(pad, uint64_t(1) << 30);
    checkKeyStore(window);
    double before = peakMiB();
    DWORD start = GetTickCount();
    fillKeyStore(window);
    printf(
        "KeyStore fill of a 1 GiB pad: store now %u bytes, %.1f s, peak private memory %.1f MiB (%.1f before)\n",
        keyStoreStatus().size, (GetTickCount() - start) / 1000.0, peakMiB(), before);
    DeleteFileA(pad.c_str());

    before = peakMiB();
    start = GetTickCount();
    gState.dialog.inputSize = 1000000;
    drawKeyFile(window);
    printf(
        "KeyStore draw from a 1 GiB store: %u-byte key, store now %u bytes, %.1f s, peak private memory %.1f "
        "MiB (%.1f before)\n",
        gState.dialog.keyBytes, keyStoreStatus().size, (GetTickCount() - start) / 1000.0, peakMiB(), before);
    DeleteFileA(store.c_str());
    DeleteFileA((folder + "\\KeyFile.txt").c_str());
    RemoveDirectoryA(folder.c_str());
    DestroyWindow(window);
    return 0;
}
