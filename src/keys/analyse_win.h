// Rating a key file as key material, as "Analyse" does.
#pragma once

#include <cstdint>

// Rates the key file at `path` against an input of inputSize bytes and gives the one text to
// show: the verdict, or why there is none.
const char* analyseKeyFileAt(const char* path, uint32_t inputSize);
