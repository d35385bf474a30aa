// Key file adoption: the one way a key file is measured for a job, from whatever source.
#pragma once

#include <cstdint>

// Opens the key file at `path` as a job will, and gives its size as the job's byte count: the
// low 32 bits' worth, since a key of 4 GiB or more still covers every input the program
// accepts. False when it cannot be opened (or `path` is empty).
bool measureKeyFile(const char* path, uint32_t& bytes);
