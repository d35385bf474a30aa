#include "ui/association_win.h"

#include <windows.h>

#include "ui/folders_win.h"
#include "win/wide_win.h"

namespace {

// Each write stands alone: a key that cannot be opened or a value that cannot be set is
// passed over, and the others still happen. The 64-bit view is named because the shell that
// reads the association is 64-bit on 64-bit Windows, while the shipped 32-bit program's writes
// to HKLM\Software would otherwise land in Wow6432Node, where that shell never looks. On
// 32-bit Windows the flag is ignored.
void writeValue(HKEY root, const char* key, const char* name, const char* text) {
    winWriteRegString(root, key, name, text, KEY_WOW64_64KEY);
}

} // namespace

void registerFileType() {
    char command[kTextCapacity];
    char icon[kTextCapacity];
    // The file name is fixed text: the association names the program as shipped.
    if (!joinText(gPlace.programFolder, "Nimbrel.exe \"%1\"", command) ||
        !joinText(gPlace.programFolder, "Nimbrel.exe,2", icon)) {
        return;
    }
    writeValue(HKEY_CLASSES_ROOT, "Applications\\Nimbrel.exe\\shell", nullptr, "DeNimbrel");
    writeValue(HKEY_LOCAL_MACHINE, "Software\\Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command", nullptr,
               command);
    writeValue(HKEY_CLASSES_ROOT, "Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command", nullptr, command);
    writeValue(HKEY_CLASSES_ROOT, ".qdx", nullptr, "Nimbrel");
    writeValue(HKEY_CLASSES_ROOT, "Nimbrel\\shell\\DeNimbrel\\Command", nullptr, command);
    // The type's default verb: a shell that does not fall back to the only verb there is (Wine's
    // looks for "open") still opens a container with a double-click.
    writeValue(HKEY_CLASSES_ROOT, "Nimbrel\\shell", nullptr, "DeNimbrel");
    // Programs that ask the shell for "open" by name (Wine's start, mail clients, scripts) find
    // only that verb, never the default one: it runs the same command.
    writeValue(HKEY_CLASSES_ROOT, "Nimbrel\\shell\\open\\command", nullptr, command);
    writeValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.qdx",
               "Application", "Nimbrel.exe");
    writeValue(HKEY_CLASSES_ROOT, "Nimbrel\\DefaultIcon", nullptr, icon);
    writeValue(HKEY_CLASSES_ROOT, "Applications\\Nimbrel.exe\\DefaultIcon", nullptr, icon);
}
