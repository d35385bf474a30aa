#include "engine/paths.h"

#include <cstring>

bool fileNameOf(const char* path, char* out, size_t capacity, char separator) {
    size_t n = std::strlen(path);
    size_t end = (n > 0 && path[n - 1] == separator) ? n - 1 : n;
    for (size_t i = end; i > 0; --i) {
        if (path[i - 1] == separator) {
            return cutText(path + i, end - i, out, capacity);
        }
    }
    return copyText(path, out, capacity);
}

bool stripExtension(const char* name, char* out, size_t capacity) {
    const char* dot = std::strrchr(name, '.');
    if (!dot) {
        return copyText(name, out, capacity);
    }
    return cutText(name, size_t(dot - name), out, capacity);
}

bool withTrailingBackslash(char* path, size_t capacity) {
    return withTrailingSeparator(path, capacity, '\\');
}

bool withTrailingSeparator(char* path, size_t capacity, char separator) {
    size_t n = std::strlen(path);
    if (n > 0 && path[n - 1] == separator) {
        return true;
    }
    const char tail[2] = {separator, '\0'};
    return appendText(path, capacity, tail);
}

bool bareFileName(const char* name, char* out, size_t capacity) {
    const char* start = name;
    for (const char* p = name; *p; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') {
            start = p + 1;
        }
    }
    bool onlyDotsAndBlanks = true;
    for (const char* p = start; *p; ++p) {
        if (*p != '.' && *p != ' ') {
            onlyDotsAndBlanks = false;
            break;
        }
    }
    if (!copyText(onlyDotsAndBlanks ? "" : start, out, capacity)) {
        return false;
    }
    // Control characters have no place in a file name: Windows refuses them, and elsewhere an
    // escape sequence or a line break in a name reaches every terminal that lists the folder.
    for (char* p = out; *p; ++p) {
        if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) {
            *p = '_';
        }
    }
    return true;
}

bool joinOutputPath(const char* folder, const char* name, char* out, size_t capacity, char separator) {
    char path[kTextCapacity];
    if (!copyText(folder, path) || !withTrailingSeparator(path, sizeof path, separator) ||
        !appendText(path, name)) {
        return false;
    }
    return copyText(path, out, capacity);
}

bool isLocalDrivePath(const char* path) {
    const char letter = char(path[0] | 0x20);
    return letter >= 'a' && letter <= 'z' && path[1] == ':' && path[2] == '\\';
}

bool partialFilePath(const char* folder, const char* prefix, const char* finalName, uint32_t pick, char* out,
                     size_t capacity, char separator) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (!copyText(folder, out, capacity) || !withTrailingSeparator(out, capacity, separator)) {
        return false;
    }
    // The system counts a path's length in UTF-16 units, not in bytes.
    const size_t folderLength = utf16Length(out);
    const size_t room = folderLength < kMaxPathLength ? kMaxPathLength - folderLength : 0;
    const size_t prefixLength = std::strlen(prefix);
    const size_t usualLength = prefixLength + 6 + 4;
    const size_t finalLength = utf16Length(finalName);
    char name[32] = "";
    if (usualLength >= sizeof name) {
        return false;
    }
    // A final name that does not fit either needs a system that takes long paths, and there
    // the usual name does as well.
    if (room >= usualLength || room < finalLength || room == 0) {
        std::memcpy(name, prefix, prefixLength);
        for (size_t i = 0; i < 6; ++i, pick /= 36) {
            name[prefixLength + i] = kDigits[pick % 36];
        }
        std::memcpy(name + prefixLength + 6, ".tmp", 5);
    } else {
        for (size_t i = 0; i < room; ++i, pick /= 36) {
            name[i] = kDigits[pick % 36];
        }
        name[room] = '\0';
        // Never the final name itself, which is made by renaming this one.
        if (equalIgnoringCase(name, finalName)) {
            name[0] = name[0] == '0' ? '1' : '0';
        }
    }
    return appendText(out, capacity, name);
}

bool nameOutput(const JobRequest& request, OutputNames& names, char separator) {
    bool ok = true;
    char output[kTextCapacity] = "";
    const char* title;
    if (request.direction == Encrypt || request.mode == ModeXor) {
        if (!fileNameOf(request.inputPath, names.plainName, sizeof names.plainName, separator)) {
            names.plainName[0] = '\0';
            ok = false;
        }
        if (request.mode == ModeClassic) {
            title = "EnCrypting ";
            ok = ok && stripExtension(names.plainName, output, sizeof output) && appendText(output, ".qdx");
        } else {
            title = "Processing ";
            ok = ok && joinText("XOR ", names.plainName, output);
        }
    } else {
        title = "DeCrypting ";
        copyText(request.stored.plainName, names.plainName);
        ok = copyText(names.plainName, output);
    }
    names.caption[0] = '\0';
    appendCutText(names.caption, sizeof names.caption, title);
    appendCutText(names.caption, sizeof names.caption, names.plainName);
    copyText(ok ? output : "", names.outputName);
    return ok;
}
