#include "engine/arguments.h"

#include <cstring>

namespace {

// Stands in for a quoted space while the line is cut at spaces.
constexpr char kQuotedSpace = char(0xFE);

} // namespace

ArgumentResult splitArgument(const char* commandLine, uint32_t index, std::string& argument) {
    size_t quotes = 0;
    for (const char* p = commandLine; *p; ++p) {
        quotes += (*p == '"');
    }
    if (quotes % 2 != 0) {
        return ArgumentOddQuotes;
    }
    std::string work(commandLine);
    bool quoted = false;
    for (char& c : work) {
        if (c == '\t') {
            c = ' ';
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (quoted && c == ' ') {
            c = kQuotedSpace;
        }
    }

    size_t pos = work.find_first_not_of(' ');
    if (pos == std::string::npos) {
        pos = work.size();
    }
    for (uint32_t skipped = 0; skipped < index; ++skipped) {
        size_t end = work.find(' ', pos);
        if (end == std::string::npos) {
            argument.clear();
            return ArgumentMissing;
        }
        pos = work.find_first_not_of(' ', end);
        if (pos == std::string::npos) {
            pos = work.size(); // trailing spaces: an empty argument follows
        }
    }
    size_t end = work.find(' ', pos);
    if (end == std::string::npos) {
        end = work.size();
    }
    argument.clear();
    for (size_t i = pos; i < end; ++i) {
        char c = work[i];
        if (c == '"') {
            continue;
        }
        argument.push_back(c == kQuotedSpace ? ' ' : c);
    }
    return argument.empty() ? ArgumentEmpty : ArgumentFound;
}

ArgumentResult splitArgument(const char* commandLine, uint32_t index, char* out, size_t capacity) {
    std::string argument;
    ArgumentResult result = splitArgument(commandLine, index, argument);
    if (result == ArgumentOddQuotes) {
        return result;
    }
    if (argument.size() >= capacity) {
        if (capacity > 0) {
            out[0] = '\0';
        }
        return ArgumentTooLong;
    }
    std::memcpy(out, argument.c_str(), argument.size() + 1);
    return result;
}
