// Path operations and the naming of a job's output file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/job.h"

// The text after the last separator (one trailing separator ignored); the path itself when
// there is none. The separator is Windows' backslash unless a front end names its own.
bool fileNameOf(const char* path, char* out, size_t capacity, char separator = '\\');
// The name before its last dot (possibly empty); the name unchanged when it has no dot.
bool stripExtension(const char* name, char* out, size_t capacity);
// Appends one backslash when the path is empty or does not end with one.
bool withTrailingBackslash(char* path, size_t capacity);
bool withTrailingSeparator(char* path, size_t capacity, char separator);
// A name read from a file, reduced to a bare file name: no folder or drive part, and nothing
// that resolves to a folder ("." and ".." also with trailing blanks or dots) - those give "".
// Control characters become "_".
bool bareFileName(const char* name, char* out, size_t capacity);
// The folder with one trailing separator, then the name: the path the job creates and the
// overwrite check tests.
bool joinOutputPath(const char* folder, const char* name, char* out, size_t capacity, char separator = '\\');

// A path that starts with a drive letter, a colon and a backslash: a file on a drive of this
// computer, not a share or a device.
bool isLocalDrivePath(const char* path);

// The longest path that the system's file calls take without a long-path prefix (MAX_PATH less
// its terminator).
constexpr size_t kMaxPathLength = 259;
// A temporary file's path: a folder of up to 1039 bytes, a backslash and a short name.
constexpr size_t kPartialPathCapacity = kTextCapacity + 16;

// A temporary file's path in `folder`, where a file named `finalName` is to be made from it:
// `prefix`, six letters or digits chosen by `pick`, ".tmp". Where that would not fit within
// kMaxPathLength but the final name does, a name of letters and digits only that fills the
// room left, so that every folder that takes the final name takes this one.
bool partialFilePath(const char* folder, const char* prefix, const char* finalName, uint32_t pick, char* out,
                     size_t capacity, char separator = '\\');

// The names of a job's output. plainName is the name a Classic container stores: the input's
// name when encrypting or in XOR mode, the stored name when decrypting. The caption titles the
// window while the job runs; a long name is cut there rather than refused.
struct OutputNames {
    char plainName[kTextCapacity];
    char outputName[kTextCapacity];
    char caption[kTextCapacity];
};
// False when a name does not fit; outputName is then empty, and no output can be created.
bool nameOutput(const JobRequest& request, OutputNames& names, char separator = '\\');

template <size_t N>
bool withTrailingBackslash(char (&path)[N]) {
    return withTrailingBackslash(path, N);
}
