#include "text/text.h"

#include <cstring>

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
