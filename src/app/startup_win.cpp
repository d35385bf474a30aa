#include "app/startup_win.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <new>

#include "app/cmdline_win.h"
#include "app/program_win.h"
#include "engine/arguments.h"
#include "engine/messages.h"
#include "ui/folders_win.h"
#include "ui/loading_win.h"
#include "ui/main_dialog_win.h"
#include "ui/message_win.h"
#include "ui/worker_win.h"
#include "win/files_win.h"
#include "win/wide_win.h"

uint32_t runProgram() {
    ProgramRecord& program = gProgram;
    program.instance = GetModuleHandleW(nullptr);
    settleFolders(program);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    // No parent: a tool tip owned by the dialog would keep it out of the topmost band.
    program.toolTip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);

    auto* commandLine = new (std::nothrow) CommandLine;
    if (!commandLine) {
        return kExitCode + ResultNoMemory;
    }
    gPlace = ProgramPlace{program.instance, program.toolTip, program.programFolder, program.dataFolder};
    readCommandLine(*commandLine);
    if (commandLine->windowless) {
        uint32_t result = commandLine->resultCode;
        delete commandLine;
        return kExitCode + result;
    }
    reportLoadOutcome(nullptr, commandLine->inputOutcome, commandLine->inputNamed, commandLine->inputError);
    // The first argument, when it is no switch, is a file to open (the shell's "Open" of a
    // ".qdx"); switches that named an input but no key show that input, ready for a key.
    char initialInput[kTextCapacity] = "";
    const ArgumentResult first = readArgument(1, initialInput);
    if (first == ArgumentTooLong) {
        // Refused whole, with its length as the reason: a cut path would name another file.
        std::string whole;
        splitArgument(winCommandLine().c_str(), 1, whole);
        if (!isSwitch(whole.c_str())) {
            char message[kMessageCapacity];
            composePathTooLong(whole.c_str(), message, sizeof message);
            showError(nullptr, message, true);
        }
    }
    if (first != ArgumentFound || isSwitch(initialInput)) {
        copyText(commandLine->inputLoaded ? commandLine->inputPath : "", initialInput);
    }
    delete commandLine;
    // The shell's folder picker needs COM on the window's thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    runMainDialog(initialInput);
    // A job still running is abandoned with the process: its unfinished output goes with it.
    abandonRunningJob();
    return kExitCode;
}
