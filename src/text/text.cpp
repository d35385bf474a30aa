#include "text/text.h"

#include <cstring>
#include <string>

uint32_t textLength(const char* text) {
    return static_cast<uint32_t>(std::strlen(text));
}

bool copyText(const char* source, char* destination, size_t capacity) {
    size_t length = std::strlen(source);
    if (length >= capacity) {
        return false;
    }
    std::memmove(destination, source, length + 1);
    return true;
}

bool appendText(char* destination, size_t capacity, const char* source) {
    size_t used = std::strlen(destination);
    size_t length = std::strlen(source);
    if (used >= capacity || length >= capacity - used) {
        return false;
    }
    std::memmove(destination + used, source, length + 1);
    return true;
}

bool joinText(const char* first, const char* second, char* destination, size_t capacity) {
    size_t head = std::strlen(first);
    size_t tail = std::strlen(second);
    if (head >= capacity || tail >= capacity - head) {
        return false;
    }
    std::memmove(destination, first, head);
    std::memmove(destination + head, second, tail + 1);
    return true;
}

char* toLowerAscii(char* text) {
    for (char* p = text; *p; ++p) {
        if (*p >= 'A' && *p <= 'Z') {
            *p = static_cast<char>(*p + 32);
        }
    }
    return text;
}

bool midText(const char* source, char* destination, size_t capacity, uint32_t offset, uint32_t count) {
    uint64_t end = uint64_t(offset) + count;
    if (end > std::strlen(source) || count >= capacity) {
        return false;
    }
    std::memmove(destination, source + offset, count);
    destination[count] = '\0';
    return true;
}

bool rightText(const char* source, char* destination, size_t capacity, uint32_t count) {
    size_t length = std::strlen(source);
    if (count > length) {
        return false;
    }
    return copyText(source + (length - count), destination, capacity);
}

bool reverseText(const char* source, char* destination, size_t capacity) {
    if (!copyText(source, destination, capacity)) {
        return false;
    }
    size_t length = std::strlen(destination);
    for (size_t i = 0, j = length; i + 1 < j; ++i, --j) {
        char t = destination[i];
        destination[i] = destination[j - 1];
        destination[j - 1] = t;
    }
    return true;
}

int32_t findText(int32_t start, const char* text, const char* pattern) {
    if (start < 1) {
        return -2;
    }
    size_t t = std::strlen(text);
    size_t p = std::strlen(pattern);
    if (p == 0 || p >= t) {
        return -1;
    }
    size_t last = t - p + 1;
    if (size_t(start) > last) {
        return -2;
    }
    for (size_t pos = size_t(start); pos <= last; ++pos) {
        if (std::memcmp(text + pos - 1, pattern, p) == 0) {
            return int32_t(pos);
        }
    }
    return 0;
}

uint32_t parseDecimal(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    bool negative = (*p == '-');
    if (negative) {
        ++p;
    }
    uint32_t value = 0;
    for (; *p; ++p) {
        value = value * 10u + uint8_t(*p - 48u);
    }
    return negative ? 0u - value : value;
}

bool formatDecimal(int32_t value, char* destination, size_t capacity) {
    char digits[12];
    size_t n = 0;
    uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = n + (value < 0 ? 1 : 0);
    if (length >= capacity) {
        return false;
    }
    size_t out = 0;
    if (value < 0) {
        destination[out++] = '-';
    }
    while (n > 0) {
        destination[out++] = digits[--n];
    }
    destination[out] = '\0';
    return true;
}

void directoryOf(char* path) {
    // A one-byte path is left alone even when it is a backslash.
    if (path[0] == '\0' || path[1] == '\0') {
        return;
    }
    char* last = std::strrchr(path, '\\');
    if (last) {
        last[1] = '\0';
    }
}

size_t boundedLength(const char* text, size_t maxLength) {
    size_t n = 0;
    while (n < maxLength && text[n] != '\0') {
        ++n;
    }
    return n;
}

bool cutText(const char* source, size_t maxLength, char* destination, size_t capacity) {
    size_t length = boundedLength(source, maxLength);
    if (length >= capacity) {
        return false;
    }
    std::memmove(destination, source, length);
    destination[length] = '\0';
    return true;
}

bool appendCutText(char* destination, size_t capacity, const char* source, size_t reserve) {
    size_t used = std::strlen(destination);
    if (used >= capacity) {
        return false;
    }
    size_t room = used + 1 + reserve < capacity ? capacity - used - 1 - reserve : 0;
    size_t length = boundedLength(source, room);
    // A cut never splits a UTF-8 sequence: it moves back to the start of the character.
    if (source[length] != '\0') {
        while (length > 0 && (static_cast<unsigned char>(source[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memmove(destination + used, source, length);
    destination[used + length] = '\0';
    return source[length] == '\0';
}

bool equalIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<unsigned char>(x + 32);
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<unsigned char>(y + 32);
        }
        if (x != y) {
            return false;
        }
        if (x == 0) {
            return true;
        }
    }
}

size_t utf16Length(const char* text) {
    size_t units = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        // Each lead byte starts one character; one of four bytes lies outside the basic plane.
        if ((*p & 0xC0) != 0x80) {
            units += *p >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

namespace {

// Windows-1252 at 0x80-0x9F; 0 where the code page has no character.
constexpr uint16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The code point at `p`, its length in `length`; false for a malformed sequence.
bool nextCodePoint(const unsigned char* p, uint32_t& code, size_t& length) {
    if (p[0] < 0x80) {
        code = p[0];
        length = 1;
        return true;
    }
    static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    length = p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 && p[0] < 0xE0 ? 2 : 0;
    if (length == 0 || (length == 3 && p[0] >= 0xF0)) {
        return false;
    }
    code = p[0] & (0xFF >> (length + 1));
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return false;
        }
        code = (code << 6) | (p[i] & 0x3F);
    }
    return code >= kMinimum[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

} // namespace

bool isUtf8(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    uint32_t code = 0;
    size_t length = 0;
    for (; *p; p += length) {
        if (!nextCodePoint(p, code, length)) {
            return false;
        }
    }
    return true;
}

bool utf8ToWindows1252(const char* text, char* out, size_t capacity) {
    std::string bytes;
    uint32_t code = 0;
    size_t length = 0;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p; p += length) {
        if (!nextCodePoint(p, code, length)) {
            return false;
        }
        int byte = code < 0x80 || (code >= 0xA0 && code <= 0xFF) ? int(code) : -1;
        for (int i = 0; byte < 0 && i < 32; ++i) {
            if (kWindows1252High[i] != 0 && kWindows1252High[i] == code) {
                byte = 0x80 + i;
            }
        }
        if (byte < 0) {
            return false;
        }
        bytes += char(byte);
    }
    return copyText(bytes.c_str(), out, capacity);
}

bool windows1252ToUtf8(const char* bytes, char* out, size_t capacity) {
    std::string utf8;
    for (const auto* p = reinterpret_cast<const unsigned char*>(bytes); *p; ++p) {
        uint32_t code = *p >= 0x80 && *p < 0xA0 ? kWindows1252High[*p - 0x80] : *p;
        if (code == 0) {
            code = 0xFFFD; // no character there: shown as the replacement character
        }
        if (code < 0x80) {
            utf8 += char(code);
        } else if (code < 0x800) {
            utf8 += char(0xC0 | (code >> 6));
            utf8 += char(0x80 | (code & 0x3F));
        } else {
            utf8 += char(0xE0 | (code >> 12));
            utf8 += char(0x80 | ((code >> 6) & 0x3F));
            utf8 += char(0x80 | (code & 0x3F));
        }
    }
    return copyText(utf8.c_str(), out, capacity);
}

// After H. Hinnant's days-to-civil algorithm: eras of 400 years from 0000-03-01.
void civilDate(int64_t days, int64_t& year, int64_t& month, int64_t& day) {
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}
