#include "app/program_win.h"

#include "win/datafolder_win.h"
#include "win/wide_win.h"

ProgramRecord gProgram;

void settleFolders(ProgramRecord& record) {
    char found[kTextCapacity] = "";
    if (!winSearchPath("Nimbrel.exe", found, sizeof found)) {
        found[0] = '\0';
    }
    directoryOf(found);
    copyText(found, record.programFolder);
    settleDataFolder(record.programFolder, record.dataFolder, sizeof record.dataFolder);
}
