// Any command line: arguments never contain quotes or unquoted spaces' markers, the bounded
// form agrees with the unbounded one, and nothing reads past the line.
#include <cstring>
#include <string>

#include "engine/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.c_str(); // a command line ends at its first zero byte
    for (uint32_t index = 0; index < 6; ++index) {
        std::string argument;
        ArgumentResult result = splitArgument(line.c_str(), index, argument);
        char out[32];
        ArgumentResult bounded = splitArgument(line.c_str(), index, out, sizeof out);
        if (result == ArgumentOddQuotes) {
            if (bounded != ArgumentOddQuotes) {
                __builtin_trap();
            }
            break;
        }
        if (argument.find('"') != std::string::npos) {
            __builtin_trap();
        }
        if (argument.size() < sizeof out ? (bounded != result || argument != out)
                                         : (bounded != ArgumentTooLong || out[0] != '\0')) {
            __builtin_trap();
        }
        if (result == ArgumentMissing) {
            break;
        }
    }
    return 0;
}
