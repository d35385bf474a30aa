// What an input file holds for a job: a plain file's size, or a container's header. Reading only:
// each front end shows or uses what was found in its own way.
#pragma once

#include <cstdint>

#include "engine/job.h"

enum class LoadOutcome {
    Loaded,
    Unreadable,   // the file cannot be opened
    NotContainer, // a ".qdx" without a header this version reads
    Empty,        // nothing to encrypt
    Unusable,     // 4 GiB or more: larger than a job takes
};

struct InputFile {
    LoadOutcome outcome;
    bool opened;
    bool container; // named ".qdx": decrypted in Classic mode
    uint32_t size;  // a plain file's size, 0 when it cannot be taken, the low 32 bits above 4 GiB
    uint32_t error; // the system's error code when it cannot be opened, 0 when none is known
    StoredFile stored;
    bool hasDescription;
    char description[kTextCapacity];
    bool hasKeyPath;
    char keyPath[kTextCapacity]; // the key file the container names
};

void readInputFile(const char* path, InputFile& input);
