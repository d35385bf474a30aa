// info: a container's header, as lines or as one JSON object.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/container.h"
#include "engine/operation.h"
#include "platform.h"
#include "text/text.h"
#include "tool.h"

namespace {

// Windows file time as "YYYY-MM-DD hh:mm:ss" in UTC; empty for none.
std::string timeText(uint64_t fileTime) {
    if (fileTime == 0) {
        return "";
    }
    int64_t seconds = int64_t(fileTime / 10000000ull) - 11644473600ll;
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t rest = seconds - days * 86400;
    int64_t year = 0, month = 0, day = 0;
    civilDate(days, year, month, day);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                  static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return text;
}

// The length of the well-formed UTF-8 character at p (shortest form, no surrogate, at most
// U+10FFFF); 0 when the bytes there are no character.
size_t utf8Length(const unsigned char* p) {
    if (p[0] < 0x80) {
        return 1;
    }
    const size_t n = p[0] >= 0xF0 && p[0] <= 0xF4   ? 4
                     : p[0] >= 0xE0                 ? 3
                     : p[0] >= 0xC2 && p[0] <= 0xDF ? 2
                                                    : 0;
    if (n == 0 || (n == 3 && p[0] > 0xEF)) {
        return 0;
    }
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    const bool overlong = (p[0] == 0xE0 && p[1] < 0xA0) || (p[0] == 0xF0 && p[1] < 0x90);
    const bool beyond = (p[0] == 0xED && p[1] >= 0xA0) || (p[0] == 0xF4 && p[1] >= 0x90);
    return overlong || beyond ? 0 : n;
}

// A stored text as a JSON string: the real characters in UTF-8, escapes only where JSON needs
// them. Bytes that are no character stay visible as the four characters \xHH; `garbled` says so.
std::string jsonText(const char* text, bool present, bool& garbled) {
    if (!present) {
        return "null";
    }
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        const size_t n = utf8Length(p);
        char escaped[8];
        if (n == 0) {
            std::snprintf(escaped, sizeof escaped, "\\\\x%02X", unsigned(*p));
            out += escaped;
            garbled = true;
            ++p;
        } else if (*p == '"' || *p == '\\') {
            out += '\\';
            out += char(*p++);
        } else if (*p < 0x20 || *p == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(*p++));
            out += escaped;
        } else {
            out.append(reinterpret_cast<const char*>(p), n);
            p += n;
        }
    }
    return out + "\"";
}

} // namespace

int runInfo(const Arguments& a) {
    const std::string input = nativePath(a.files[0]);
    const FileLayer files = platformFiles();
    ContainerHeader h;
    switch (readContainerHeader(files, input.c_str(), h)) {
    case HeaderRead::Ok:
        break;
    case HeaderRead::Unreadable:
        return fail(ResultReadError, because("cannot read " + input));
    case HeaderRead::NotContainer:
        return fail(ResultReadError,
                    input + " is no container this version reads (no \"ZEVK1300\" header, or one cut short)");
    }
    uint64_t payload = uint64_t(fileSizeAt(input)) - h.headerLength;
    // The texts as the program reads them, whatever code page or form they were stored in. A byte
    // the code page has no character for comes out as the replacement character, U+FFFD.
    bool garbled = false;
    auto stored = [&files, &garbled](const char* field) {
        char text[kTextCapacity];
        const std::string read = textFromStored(field, files.codePage, text, sizeof text) ? text : field;
        const char* replacement = "\xEF\xBF\xBD";
        garbled =
            garbled || (read.find(replacement) != std::string::npos && !std::strstr(field, replacement));
        return read;
    };
    const std::string name = stored(h.plainName), description = stored(h.description),
                      keyFile = stored(h.keyPath);
    if (a.json) {
        auto time = [](uint64_t t) {
            std::string text = timeText(t);
            return text.empty() ? std::string("null") : "\"" + text.replace(10, 1, "T") + "Z\"";
        };
        printOut("{\"name\": %s, \"description\": %s, \"keyFile\": %s, \"created\": %s, \"accessed\": %s, "
                 "\"modified\": %s, \"attributes\": %u, \"payloadBytes\": %llu, \"headerBytes\": %u}\n",
                 jsonText(name.c_str(), true, garbled).c_str(),
                 jsonText(description.c_str(), h.hasDescription, garbled).c_str(),
                 jsonText(keyFile.c_str(), h.hasKeyPath, garbled).c_str(), time(h.creationTime).c_str(),
                 time(h.lastAccessTime).c_str(), time(h.lastWriteTime).c_str(), unsigned(h.attributes),
                 static_cast<unsigned long long>(payload), unsigned(h.headerLength));
        if (garbled) {
            fail(0, "warning: a stored text holds bytes that are no character in the code page it was stored "
                    "in (shown as U+FFFD), or no UTF-8 where it was stored as UTF-8 (shown as \\xHH)");
        }
        return 0;
    }
    auto line = [](const char* label, const std::string& value) {
        printOut("%-13s%s\n", label, value.c_str());
    };
    auto time = [](uint64_t t) {
        std::string text = timeText(t);
        return text.empty() ? std::string("(none)") : text + " UTC";
    };
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "0x%04x", unsigned(h.attributes));
    line("name:", visible(name));
    line("description:", h.hasDescription ? visible(description) : "(none)");
    line("key file:", h.hasKeyPath ? visible(keyFile) : "(none)");
    line("created:", time(h.creationTime));
    line("accessed:", time(h.lastAccessTime));
    line("modified:", time(h.lastWriteTime));
    line("attributes:", attributes);
    line("payload:", withUnit(payload, "byte"));
    line("header:", withUnit(h.headerLength, "byte"));
    return 0;
}
