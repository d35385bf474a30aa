// Path operations and the naming of a job's output file.
#pragma once

#include <cstddef>

#include "engine/job.h"

// The text after the last backslash (one trailing backslash ignored); the path itself when
// there is none. Other systems' front ends name their own folder separator.
bool fileNameOf(const char* path, char* out, size_t capacity, char separator = '\\');
// The name before its last dot (possibly empty); the name unchanged when it has no dot.
bool stripExtension(const char* name, char* out, size_t capacity);
// Appends one backslash when the path is empty or does not end with one.
bool withTrailingBackslash(char* path, size_t capacity);
bool withTrailingSeparator(char* path, size_t capacity, char separator);
// A name read from a file, reduced to a bare file name: no folder or drive part, and nothing
// that resolves to a folder ("." and ".." also with trailing blanks or dots) - those give "".
bool bareFileName(const char* name, char* out, size_t capacity);
// withTrailingBackslash(folder) + name: the path the worker creates and the overwrite check tests.
bool joinOutputPath(const char* folder, const char* name, char* out, size_t capacity, char separator = '\\');

// Output naming: plainName (encrypt and XOR), outputName and the window caption of the job.
// False when a name does not fit; outputName is then empty, and no output can be created.
bool nameOutputFields(JobSettings& job, const DialogState& dialog, char* caption, size_t captionCapacity,
                      char separator = '\\');

template <size_t N>
bool withTrailingBackslash(char (&path)[N]) {
    return withTrailingBackslash(path, N);
}
