// Start-up: the road from the entry point to the main dialog and on to the end of the process,
// settling the program-wide record and folders on the way.
#pragma once

#include <windows.h>

#include <cstdint>

// The whole program: start-up, the command line, the main dialog. Returns the exit code.
uint32_t runProgram();
