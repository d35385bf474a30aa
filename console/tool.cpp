// How the console tool speaks: its name, and lines on standard error that no stored name can
// turn into terminal commands.
#include <cstdio>

#include "platform.h"
#include "tool.h"

std::string gProgram = "nimbrel";

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
        std::fprintf(stderr, "%s: %s\n", gProgram.c_str(), visible(text).c_str());
    }
}

int fail(int code, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", gProgram.c_str(), visible(text).c_str());
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
