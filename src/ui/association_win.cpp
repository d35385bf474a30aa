#include "ui/association_win.h"

#include <windows.h>

#include "app/startup_win.h"

namespace {

// Each write stands alone: a key that cannot be opened or a value that cannot be set is
// passed over, and the others still happen. The 64-bit view is named because the shell that
// reads the association is 64-bit on 64-bit Windows, while the shipped 32-bit program's writes
// to HKLM\Software would otherwise land in Wow6432Node, where that shell never looks. On
// 32-bit Windows the flag is ignored.
void writeValue(HKEY root, const char* key, const char* name, const char* text) {
    HKEY opened;
    if (RegCreateKeyExA(root, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(textLength(text) + 1));
    RegCloseKey(opened);
}

} // namespace

void registerFileType() {
    char command[kTextCapacity];
    char icon[kTextCapacity];
    // The file name is fixed text: the association names the program as shipped.
    if (!joinText(programFolder, "Nimbrel.exe \"%1\"", command) ||
        !joinText(programFolder, "Nimbrel.exe,2", icon)) {
        return;
    }
    writeValue(HKEY_CLASSES_ROOT, "Applications\\Nimbrel.exe\\shell", nullptr, "DeNimbrel");
    writeValue(HKEY_LOCAL_MACHINE, "Software\\Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command", nullptr,
               command);
    writeValue(HKEY_CLASSES_ROOT, "Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command", nullptr, command);
    writeValue(HKEY_CLASSES_ROOT, ".qdx", nullptr, "Nimbrel");
    writeValue(HKEY_CLASSES_ROOT, "Nimbrel\\shell\\DeNimbrel\\Command", nullptr, command);
    writeValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.qdx",
               "Application", "Nimbrel.exe");
    writeValue(HKEY_CLASSES_ROOT, "Nimbrel\\DefaultIcon", nullptr, icon);
    writeValue(HKEY_CLASSES_ROOT, "Applications\\Nimbrel.exe\\DefaultIcon", nullptr, icon);
}
