// Text and number routines over zero-terminated UTF-8 texts.
//
// Every routine that writes takes the capacity of its destination (bytes, terminator included)
// and reports a result that does not fit instead of writing past the buffer: on failure the
// destination is left as it was. The array overloads pass the capacity for the caller.
#pragma once

#include <cstddef>
#include <cstdint>

// Paths and messages under construction, in UTF-8: a path Windows allows (259 UTF-16 units)
// takes up to 777 bytes, so 1039 bytes before the terminator hold every one.
constexpr size_t kTextCapacity = 1040;

uint32_t textLength(const char* text);
bool copyText(const char* source, char* destination, size_t capacity);
bool appendText(char* destination, size_t capacity, const char* source);
// first followed by second (which must not lie in destination; first may be destination itself).
bool joinText(const char* first, const char* second, char* destination, size_t capacity);
char* toLowerAscii(char* text);
// Copies exactly `count` bytes from source + offset; the range must lie within the source text.
bool midText(const char* source, char* destination, size_t capacity, uint32_t offset, uint32_t count);
bool rightText(const char* source, char* destination, size_t capacity, uint32_t count);
bool reverseText(const char* source, char* destination, size_t capacity);
// 1-based position of pattern in text from `start` on; 0 none, -1 pattern not shorter than text,
// -2 start outside the text. Only results of 1 or more are finds.
int32_t findText(int32_t start, const char* text, const char* pattern);
uint32_t parseDecimal(const char* text);
bool formatDecimal(int32_t value, char* destination, size_t capacity);
// Cuts the path after its last backslash; it only ever gets shorter.
void directoryOf(char* path);

// Length of the text, but looking at no more than maxLength bytes.
size_t boundedLength(const char* text, size_t maxLength);
// Copies at most `maxLength` bytes of source (always succeeds when capacity > maxLength).
bool cutText(const char* source, size_t maxLength, char* destination, size_t capacity);
// Appends as much of source as fits while `reserve` bytes stay free for what must follow (a
// closing quote, say): texts that are only shown are cut rather than refused, between UTF-8
// characters. True when the whole of source went in.
bool appendCutText(char* destination, size_t capacity, const char* source, size_t reserve = 0);
// The length of a UTF-8 text in UTF-16 units, the unit in which the system counts paths.
size_t utf16Length(const char* text);
// Whether the text is well-formed UTF-8 (shortest forms, no surrogates).
bool isUtf8(const char* text);
// The common Western code page (Windows-1252), the legacy code page where the system names none.
// utf8ToWindows1252 is exact or fails, with `out` untouched.
bool utf8ToWindows1252(const char* text, char* out, size_t capacity);
bool windows1252ToUtf8(const char* bytes, char* out, size_t capacity);
// ASCII case-insensitive equality (A-Z only), the rule Windows file names follow here.
bool equalIgnoringCase(const char* a, const char* b);
// Days since 1970-01-01 as a date of the proleptic Gregorian calendar.
void civilDate(int64_t days, int64_t& year, int64_t& month, int64_t& day);

template <size_t N>
bool copyText(const char* source, char (&destination)[N]) {
    return copyText(source, destination, N);
}
template <size_t N>
bool appendText(char (&destination)[N], const char* source) {
    return appendText(destination, N, source);
}
template <size_t N>
bool joinText(const char* first, const char* second, char (&destination)[N]) {
    return joinText(first, second, destination, N);
}
template <size_t N>
bool cutText(const char* source, size_t maxLength, char (&destination)[N]) {
    return cutText(source, maxLength, destination, N);
}
