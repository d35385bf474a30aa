// Entry point of Nimbrel.exe.
#include <windows.h>

#include "app/startup_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Threads that still run end with the process.
    ExitProcess(runProgram());
}
