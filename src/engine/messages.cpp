#include "engine/messages.h"

#include <cstdio>

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

void composeReadError(const char* path, char* out, size_t capacity) {
    composeAroundPath("File Read Error with ", path, "", out, capacity);
}

void composeWriteError(const char* name, char* out, size_t capacity) {
    composeAroundPath("File Write Error with ", name, "", out, capacity);
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

bool composeJobReport(uint32_t resultCode, uint32_t jobTime, const char* inputPath, const char* outputName,
                      char* out, size_t capacity) {
    out[0] = '\0';
    switch (resultCode) {
    case 0: {
        char elapsed[32];
        formatElapsed(jobTime, elapsed, sizeof elapsed);
        appendText(out, capacity, "Finished XORing in ");
        appendText(out, capacity, elapsed);
        appendText(out, capacity, " seconds.");
        return true;
    }
    case 1:
        composeReadError(inputPath, out, capacity);
        return true;
    case 2:
        copyText(kNoKeyMaterial, out, capacity);
        return true;
    case 3:
        copyText(kMemoryError, out, capacity);
        return true;
    case 4:
        composeWriteError(outputName, out, capacity);
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
