#include "engine/container.h"

#include <cstring>

#include "engine/paths.h"

namespace {

// A cursor over the file's bytes whose `ok` turns false at the first read past the end.
struct Reader {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
    bool ok;

    const uint8_t* take(size_t n) {
        if (!ok || size - pos < n) {
            ok = false;
            return nullptr;
        }
        const uint8_t* p = bytes + pos;
        pos += n;
        return p;
    }
    uint8_t byte() {
        const uint8_t* p = take(1);
        return p ? *p : 0;
    }
    uint64_t le(size_t n) {
        const uint8_t* p = take(n);
        uint64_t v = 0;
        for (size_t i = 0; p && i < n; ++i) {
            v |= uint64_t(p[i]) << (8 * i);
        }
        return v;
    }
    void field(char* out) {
        const uint8_t* p = take(kFieldCapacity);
        std::memset(out, 0, kFieldCapacity);
        if (p) {
            cutText(reinterpret_cast<const char*>(p), kFieldCapacity - 1, out, kFieldCapacity);
        }
    }
};

void putLe(uint8_t* out, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        out[i] = uint8_t(v >> (8 * i));
    }
}

void putField(uint8_t* out, const char* text) {
    std::memset(out, 0, kFieldCapacity);
    size_t n = boundedLength(text, kFieldCapacity - 1);
    std::memcpy(out, text, n);
}

bool isAscii(const char* text) {
    for (; *text; ++text) {
        if (static_cast<unsigned char>(*text) >= 0x80) {
            return false;
        }
    }
    return true;
}

// The text in the form the field takes, whole; false when that form is longer than 299 bytes.
bool storedForm(const char* text, const LegacyCodePage& codePage, char* out, size_t capacity) {
    if (isAscii(text)) {
        return copyText(text, out, capacity);
    }
    if (codePage.toLegacy) {
        char legacy[kTextCapacity];
        if (codePage.toLegacy(text, legacy, sizeof legacy)) {
            return copyText(legacy, out, capacity);
        }
    }
    return joinText(kUtf8Mark, text, out, capacity);
}

} // namespace

bool storeText(const char* text, const LegacyCodePage& codePage, char (&field)[kFieldCapacity]) {
    char kept[kTextCapacity];
    bool whole = copyText(text, kept);
    if (!whole) {
        kept[0] = '\0';
        appendCutText(kept, sizeof kept, text);
    }
    // Drop whole characters from the end until the stored form fits.
    for (size_t n = textLength(kept);;) {
        kept[n] = '\0';
        if (storedForm(kept, codePage, field, kFieldCapacity)) {
            return whole;
        }
        if (n == 0) {
            field[0] = '\0';
            return false;
        }
        whole = false;
        --n;
        while (n > 0 && (static_cast<unsigned char>(kept[n]) & 0xC0) == 0x80) {
            --n;
        }
    }
}

bool textFromStored(const char* field, const LegacyCodePage& codePage, char* out, size_t capacity) {
    const size_t mark = sizeof kUtf8Mark - 1;
    if (std::strncmp(field, kUtf8Mark, mark) == 0) {
        return copyText(field + mark, out, capacity);
    }
    if (codePage.fromLegacy && !isAscii(field)) {
        return codePage.fromLegacy(field, out, capacity);
    }
    return copyText(field, out, capacity);
}

bool isContainerName(const char* path) {
    size_t n = std::strlen(path);
    if (n < 4) {
        return false;
    }
    char tail[5];
    std::memcpy(tail, path + n - 4, 5);
    return std::strcmp(toLowerAscii(tail), ".qdx") == 0;
}

uint32_t headerLengthFor(bool hasDescription, bool hasKeyPath) {
    return kMinHeaderLength + (hasDescription ? kFieldCapacity : 0) + (hasKeyPath ? kFieldCapacity : 0);
}

uint32_t headerTimesOffset(const ContainerHeader& header) {
    return headerLengthFor(header.hasDescription, header.hasKeyPath) - 26;
}

HeaderStatus decodeHeader(const uint8_t* bytes, size_t size, ContainerHeader& header) {
    std::memset(&header, 0, sizeof header);
    Reader in{bytes, size, 0, true};
    const uint8_t* signature = in.take(kSignatureLength);
    if (!signature || std::memcmp(signature, kContainerSignature, kSignatureLength) != 0) {
        return HeaderStatus::BadSignature;
    }
    in.field(header.plainName);
    header.hasDescription = in.byte() != 0;
    if (header.hasDescription) {
        in.field(header.description);
    }
    header.hasKeyPath = in.byte() != 0;
    if (header.hasKeyPath) {
        in.field(header.keyPath);
    }
    header.creationTime = in.le(8);
    header.lastAccessTime = in.le(8);
    header.lastWriteTime = in.le(8);
    header.attributes = uint16_t(in.le(2));
    header.headerLength = headerLengthFor(header.hasDescription, header.hasKeyPath);
    return in.ok ? HeaderStatus::Ok : HeaderStatus::Truncated;
}

uint32_t encodeHeader(const ContainerHeader& header, uint8_t* out) {
    uint8_t* p = out;
    std::memcpy(p, kContainerSignature, kSignatureLength);
    p += kSignatureLength;
    putField(p, header.plainName);
    p += kFieldCapacity;
    *p++ = header.hasDescription ? 1 : 0;
    if (header.hasDescription) {
        putField(p, header.description);
        p += kFieldCapacity;
    }
    *p++ = header.hasKeyPath ? 1 : 0;
    if (header.hasKeyPath) {
        putField(p, header.keyPath);
        p += kFieldCapacity;
    }
    putLe(p, header.creationTime, 8);
    putLe(p + 8, header.lastAccessTime, 8);
    putLe(p + 16, header.lastWriteTime, 8);
    putLe(p + 24, header.attributes, 2);
    p += 26;
    return uint32_t(p - out);
}

void headerForRequest(const JobRequest& request, const char* plainName, uint32_t attributes,
                      ContainerHeader& header, const LegacyCodePage& codePage) {
    std::memset(&header, 0, sizeof header);
    storeText(plainName, codePage, header.plainName);
    header.hasDescription = request.useDescription ? 1 : 0;
    if (header.hasDescription) {
        storeText(request.description, codePage, header.description);
    }
    header.hasKeyPath = request.saveKeyName ? 1 : 0;
    if (header.hasKeyPath) {
        storeText(request.keyPath, codePage, header.keyPath);
    }
    header.attributes = uint16_t(attributes);
    header.headerLength = headerLengthFor(header.hasDescription, header.hasKeyPath);
}

void storedFileFromHeader(const ContainerHeader& header, StoredFile& stored, const LegacyCodePage& codePage) {
    // The stored name only ever names a file inside the chosen output folder.
    char name[kTextCapacity];
    if (!textFromStored(header.plainName, codePage, name, sizeof name)) {
        name[0] = '\0';
    }
    bareFileName(name, stored.plainName, sizeof stored.plainName);
    stored.creationTime = header.creationTime;
    stored.lastAccessTime = header.lastAccessTime;
    stored.lastWriteTime = header.lastWriteTime;
    stored.attributes = header.attributes;
    stored.headerLength = header.headerLength;
}
