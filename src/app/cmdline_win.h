// The command line: the argument reader and the switches of a windowless run.
#pragma once

#include <cstdint>

#include "engine/arguments.h"
#include "engine/input_win.h"
#include "text/text.h"

// Argument n of the process's command line into a kTextCapacity text (see ArgumentResult).
ArgumentResult readArgument(uint32_t n, char* out);

// What the switches asked for.
struct CommandLine {
    // The switches named an input file and a key: the job ran on this thread, without a window,
    // and resultCode is its result. Otherwise the main dialog opens.
    bool windowless;
    uint32_t resultCode;
    // For the window: the input the last "/i=" named, whether it could be loaded, and why not.
    bool inputLoaded;
    char inputPath[kTextCapacity];
    LoadOutcome inputOutcome;
    uint32_t inputError;                // the system's error code for an input that could not be opened
    char inputNamed[kTextCapacity * 4]; // as given, for the message when it could not be used
};

// Applies the switches "/i=", "/o=", "/s=", "/f=".
void readCommandLine(CommandLine& result);

// Whether an argument is one of the switches above.
bool isSwitch(const char* argument);
