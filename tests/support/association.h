// The values of the .qdx association, as the program writes them at every opening and the
// installer writes them to remove them again.
#pragma once

#include <string>
#include <vector>

#include "support/driver.h"

constexpr char kClasses[] = "Software\\Classes\\";
constexpr char kFileExts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.qdx";

// The ten values, as "key = data" lines ("<missing>" for a value that is not there). Writes to
// HKEY_CLASSES_ROOT land in HKLM\Software\Classes under Wine, as a machine-wide installation's do.
inline std::vector<std::string> associationValues() {
    std::string classes = kClasses;
    struct Read {
        HKEY root;
        std::string key;
        const char* value;
    } reads[] = {
        {HKEY_LOCAL_MACHINE, classes + "Applications\\Nimbrel.exe\\shell", nullptr},
        {HKEY_LOCAL_MACHINE, "Software\\Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command", nullptr},
        {HKEY_LOCAL_MACHINE, classes + "Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command", nullptr},
        {HKEY_LOCAL_MACHINE, classes + ".qdx", nullptr},
        {HKEY_LOCAL_MACHINE, classes + "Nimbrel\\shell\\DeNimbrel\\Command", nullptr},
        {HKEY_LOCAL_MACHINE, classes + "Nimbrel\\shell", nullptr},
        {HKEY_LOCAL_MACHINE, classes + "Nimbrel\\shell\\open\\command", nullptr},
        {HKEY_CURRENT_USER, kFileExts, "Application"},
        {HKEY_LOCAL_MACHINE, classes + "Nimbrel\\DefaultIcon", nullptr},
        {HKEY_LOCAL_MACHINE, classes + "Applications\\Nimbrel.exe\\DefaultIcon", nullptr},
    };
    std::vector<std::string> lines;
    for (const Read& r : reads) {
        lines.push_back(r.key + " = " + registryText(r.root, r.key, r.value));
    }
    return lines;
}

// The same for a program in `programFolder` (ending with a backslash).
inline std::vector<std::string> expectedAssociation(const std::string& programFolder) {
    std::string command = programFolder + "Nimbrel.exe \"%1\"";
    std::string icon = programFolder + "Nimbrel.exe,2";
    std::string classes = kClasses;
    return {
        classes + "Applications\\Nimbrel.exe\\shell = DeNimbrel",
        "Software\\Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command = " + command,
        classes + "Applications\\Nimbrel.exe\\shell\\DeNimbrel\\Command = " + command,
        classes + ".qdx = Nimbrel",
        classes + "Nimbrel\\shell\\DeNimbrel\\Command = " + command,
        classes + "Nimbrel\\shell = DeNimbrel",
        classes + "Nimbrel\\shell\\open\\command = " + command,
        std::string(kFileExts) + " = Nimbrel.exe",
        classes + "Nimbrel\\DefaultIcon = " + icon,
        classes + "Applications\\Nimbrel.exe\\DefaultIcon = " + icon,
    };
}
