// The key material tools are not built yet: the drive lists stay empty and "Analyse",
// "Create" and "KeyStore" do nothing.
#include "keys/keytools_win.h"

uint32_t scanDrives(HWND window) {
    SendDlgItemMessageA(window, 1013, CB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(window, 1014, CB_RESETCONTENT, 0, 0);
    return 0;
}
uint32_t readDriveIndex(HWND) {
    return 0;
}
void resolveDriveEntry() {}
bool selectDriveEntry(uint32_t) {
    return false;
}
void createKeyFile(HWND) {}
void analyseKeyFile(HWND) {}
void checkKeyStore(HWND) {}
void keyStoreCommand(HWND) {}
