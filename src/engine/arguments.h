// Splitting the process's command line into arguments, with the program's quoting rules:
// double quotes group spaces into one argument and are dropped from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum ArgumentResult : uint32_t {
    ArgumentFound = 1,     // found and not empty
    ArgumentMissing = 2,   // fewer arguments than the index asks for
    ArgumentOddQuotes = 3, // an odd number of double quotes: nothing is read
    ArgumentEmpty = 4,     // found, but empty
    ArgumentTooLong = 5,   // found, but longer than the caller's buffer holds
};

// Argument `index` (0 is the program's own path) of `commandLine`, of any length.
ArgumentResult splitArgument(const char* commandLine, uint32_t index, std::string& argument);

// The same into a bounded text; an argument that does not fit gives ArgumentTooLong and "".
// On ArgumentOddQuotes the text is left as it was.
ArgumentResult splitArgument(const char* commandLine, uint32_t index, char* out, size_t capacity);
