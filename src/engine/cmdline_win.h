// The command line: the argument reader and the switches of a windowless run.
#pragma once

#include <cstdint>

#include "engine/arguments.h"

// Argument n of the process's command line into a 600-byte text (see ArgumentResult).
ArgumentResult readArgument(uint32_t n, char* out);

// Applies the switches "/i=", "/o=", "/s=", "/f=". When they name an input file and a key, runs
// the job on this thread (batchRun) and returns true with the job's result code; otherwise
// returns false and the main dialog opens with the values they set.
bool readCommandLine(uint32_t& resultCode);
