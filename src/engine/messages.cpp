#include "engine/messages.h"

#include <cstdio>
#include <string>

#include "engine/job.h"
#include "text/text.h"

void composeAroundPath(const char* lead, const char* path, const char* tail, char* out, size_t capacity) {
    out[0] = '\0';
    appendText(out, capacity, lead);
    appendText(out, capacity, "\"");
    // Room for the closing quote and the tail.
    appendCutText(out, capacity, path, 1 + textLength(tail));
    appendText(out, capacity, "\"");
    appendText(out, capacity, tail);
}

namespace {

void composeError(const char* lead, const char* path, const char* reason, char* out, size_t capacity) {
    std::string tail;
    if (reason && reason[0] != '\0') {
        tail = std::string(": ") + reason;
        if (tail.back() != '.') {
            tail += '.';
        }
    }
    composeAroundPath(lead, path, tail.c_str(), out, capacity);
}

} // namespace

void composeReadError(const char* path, char* out, size_t capacity, const char* reason) {
    composeError("File Read Error with ", path, reason, out, capacity);
}

void composeWriteError(const char* path, char* out, size_t capacity, const char* reason) {
    composeError("File Write Error with ", path, reason, out, capacity);
}

void composePathTooLong(const char* path, char* out, size_t capacity) {
    char reason[96];
    std::snprintf(reason, sizeof reason, "the path is longer than the %u bytes Nimbrel takes",
                  unsigned(kTextCapacity - 1));
    composeReadError(path, out, capacity, reason);
}

void formatElapsed(uint32_t hundredths, char* out, size_t capacity) {
    uint32_t seconds = hundredths / 100;
    uint32_t rest = hundredths - 100 * seconds;
    char digits[16];
    out[0] = '\0';
    // At most 42,949,672 seconds from a 32-bit count: within formatDecimal's signed range.
    formatDecimal(int32_t(seconds), digits, sizeof digits);
    appendText(out, capacity, digits);
    appendText(out, capacity, rest < 10 ? ".0" : ".");
    formatDecimal(int32_t(rest), digits, sizeof digits);
    appendText(out, capacity, digits);
}

bool composeJobReport(uint32_t resultCode, uint32_t jobTime, const char* inputPath, const char* outputPath,
                      const char* reason, char* out, size_t capacity) {
    out[0] = '\0';
    switch (resultCode) {
    case 0: {
        char elapsed[32];
        formatElapsed(jobTime, elapsed, sizeof elapsed);
        std::string lead = std::string("Finished XORing in ") + elapsed + " seconds. The output is ";
        composeAroundPath(lead.c_str(), outputPath, ".", out, capacity);
        return true;
    }
    case 1:
        composeReadError(inputPath, out, capacity, reason);
        return true;
    case 2:
        copyText(kNoKeyMaterial, out, capacity);
        return true;
    case 3:
        copyText(kMemoryError, out, capacity);
        return true;
    case 4:
        composeWriteError(outputPath, out, capacity, reason);
        return true;
    default:
        return resultCode < 10;
    }
}

void composeKeyStringTooLong(char* out, size_t capacity) {
    std::snprintf(out, capacity,
                  "The key string takes more than the %u bytes the window keeps of one in this computer's "
                  "code page (some characters take two). Nothing of it is cut: shorten it, or encrypt with "
                  "the command line or nimbrel-cli.exe, which take up to %u bytes.",
                  unsigned(kKeyFieldBytes), unsigned(kLongestKeyString));
}
