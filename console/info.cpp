// info: a container's header, as lines or as one JSON object.
#include <cstdio>
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

std::string jsonText(const char* text, bool present) {
    if (!present) {
        return "null";
    }
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += char(*p);
        } else if (*p < 0x20 || *p >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(*p));
            out += escaped;
        } else {
            out += char(*p);
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
    // The texts as the program reads them, whatever code page or form they were stored in.
    auto stored = [&files](const char* field) {
        char text[kTextCapacity];
        return std::string(textFromStored(field, files.codePage, text, sizeof text) ? text : field);
    };
    const std::string name = stored(h.plainName), description = stored(h.description),
                      keyFile = stored(h.keyPath);
    if (a.json) {
        auto time = [](uint64_t t) {
            std::string text = timeText(t);
            return text.empty() ? std::string("null") : "\"" + text.replace(10, 1, "T") + "Z\"";
        };
        std::printf("{\"name\": %s, \"description\": %s, \"keyFile\": %s, \"created\": %s, \"accessed\": %s, "
                    "\"modified\": %s, \"attributes\": %u, \"payloadBytes\": %llu, \"headerBytes\": %u}\n",
                    jsonText(name.c_str(), true).c_str(),
                    jsonText(description.c_str(), h.hasDescription).c_str(),
                    jsonText(keyFile.c_str(), h.hasKeyPath).c_str(), time(h.creationTime).c_str(),
                    time(h.lastAccessTime).c_str(), time(h.lastWriteTime).c_str(), unsigned(h.attributes),
                    static_cast<unsigned long long>(payload), unsigned(h.headerLength));
        return 0;
    }
    auto line = [](const char* label, const std::string& value) {
        std::printf("%-13s%s\n", label, value.c_str());
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
