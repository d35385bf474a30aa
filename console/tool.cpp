// How the console tool speaks: its name, and lines on standard error that no stored name can
// turn into terminal commands.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform.h"
#include "tool.h"

std::string gProgram = "nimbrel";

namespace {

// What became of one standard stream: 0 while every write went through, else the first error.
struct Stream {
    FILE* file;
    int error;
};
Stream gOut{stdout, 0};
Stream gErr{stderr, 0};

void printTo(Stream& stream, bool closed, const char* format, va_list arguments) {
    if (stream.error != 0) {
        return;
    }
    if (closed) {
        stream.error = EBADF; // what a write to it would have met
        return;
    }
    errno = 0;
    if (std::vfprintf(stream.file, format, arguments) < 0) {
        stream.error = errno != 0 ? errno : EIO;
    }
}

} // namespace

void printOut(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    printTo(gOut, standardStreamClosed(1), format, arguments);
    va_end(arguments);
}

void printErr(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    printTo(gErr, standardStreamClosed(2), format, arguments);
    va_end(arguments);
}

int finishOutput(int status) {
    if (gOut.error == 0 && !standardStreamClosed(1)) {
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            gOut.error = errno != 0 ? errno : EIO;
        }
    }
    if (gOut.error != 0 && gOut.error != EPIPE) {
        printErr("%s: cannot write to standard output: %s\n", gProgram.c_str(), std::strerror(gOut.error));
    }
    if (gErr.error == 0 && !standardStreamClosed(2)) {
        errno = 0;
        if (std::fflush(stderr) != 0 || std::ferror(stderr)) {
            gErr.error = errno != 0 ? errno : EIO;
        }
    }
    const bool failed = gOut.error != 0 || gErr.error != 0;
    return failed && status == 0 ? kOutputFailed : status;
}

// A text as a terminal should show it: control characters (a stored name may hold an escape
// sequence or a line break) as \xHH, so that no file can move the cursor, clear the screen or
// retitle the window.
std::string visible(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        // C1 controls arrive in UTF-8 as C2 80 to C2 9F.
        bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X",
                          unsigned(c1 ? static_cast<unsigned char>(text[++i]) : c));
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out;
}

void say(const Arguments& a, const std::string& text) {
    if (!a.quiet) {
        printErr("%s: %s\n", gProgram.c_str(), visible(text).c_str());
    }
}

int fail(int code, const std::string& text) {
    printErr("%s: %s\n", gProgram.c_str(), visible(text).c_str());
    return code;
}

// `what` followed by the system's reason for the last failure, when it is known.
std::string because(const std::string& what) {
    const std::string reason = systemReason();
    return reason.empty() ? what : what + ": " + reason;
}

std::string withUnit(uint64_t n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}
