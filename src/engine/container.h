// The ".qdx" container: signature, plain name, optional description and key path, three file
// times and the attribute word, followed by the XORed payload.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/job.h"

constexpr char kContainerSignature[] = "ZEVK1300";
constexpr uint32_t kSignatureLength = 8;
constexpr uint32_t kMinHeaderLength = 336;
constexpr uint32_t kMaxHeaderLength = 936;

struct ContainerHeader {
    char plainName[kFieldCapacity];
    uint32_t hasDescription;
    char description[kFieldCapacity];
    uint32_t hasKeyPath;
    char keyPath[kFieldCapacity];
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
    uint16_t attributes;
    uint32_t headerLength;
};

enum class HeaderStatus {
    Ok,
    BadSignature, // not this version's container, or no container at all
    Truncated,    // the file ends inside the header its flags announce
};

// The system's legacy code page, in which earlier versions stored a container's texts (and which
// its drive indexes use). toLegacy is exact or fails; fromLegacy reads such bytes as UTF-8. With
// null members (no legacy code page, as on POSIX) texts are stored as UTF-8 and read as they are.
struct LegacyCodePage {
    bool (*toLegacy)(const char* text, char* out, size_t capacity);
    bool (*fromLegacy)(const char* bytes, char* out, size_t capacity);
};

// Marks a stored text that is UTF-8: the byte order mark. Earlier versions show it as three
// odd characters in front of the text, and read the rest byte for byte.
inline constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

// A text as a container stores it, into a header field: ASCII as it is; in the legacy code page
// when that holds every character, so that earlier versions read it the same; otherwise UTF-8
// behind kUtf8Mark. A text longer than the field's 299 bytes is cut between characters, and the
// result is false.
bool storeText(const char* text, const LegacyCodePage& codePage, char (&field)[kFieldCapacity]);
// A stored text in UTF-8: marked UTF-8 without its mark, else read through the code page.
bool textFromStored(const char* field, const LegacyCodePage& codePage, char* out, size_t capacity);

// True when the last four bytes of the path, lowered, are ".qdx".
bool isContainerName(const char* path);

// Reads a header from the start of a file. Every read is bounds-checked; text fields are cut
// at 299 bytes, so a field without a terminator never runs on.
HeaderStatus decodeHeader(const uint8_t* bytes, size_t size, ContainerHeader& header);

// Length of the header that these flags give: 336, 636 or 936.
uint32_t headerLengthFor(bool hasDescription, bool hasKeyPath);
// Offset of the three times, which are only known once the output file exists.
uint32_t headerTimesOffset(const ContainerHeader& header);

// Writes the whole header into out (at least kMaxHeaderLength bytes); returns its length.
// The bytes after each text's terminator are zero.
uint32_t encodeHeader(const ContainerHeader& header, uint8_t* out);

// The header that a Classic encryption of `request` writes, for a file of this name and
// attribute word (times filled in later).
void headerForRequest(const JobRequest& request, const char* plainName, uint32_t attributes,
                      ContainerHeader& header, const LegacyCodePage& codePage = LegacyCodePage{});
// What a loaded header says of the file it holds: name, times, attributes, length. The stored key
// path is not taken: whether it replaces the job's key is the loader's decision.
void storedFileFromHeader(const ContainerHeader& header, StoredFile& stored,
                          const LegacyCodePage& codePage = LegacyCodePage{});
