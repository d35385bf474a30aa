// Rating a key file as key material, as "Analyse" does.
#pragma once

#include <cstddef>
#include <cstdint>

// Rates the key file at `path` against an input of inputSize bytes and gives the one text to
// show: the rating with the verdict a job would give (against the input at `inputPath` when one
// is named), or why there is none.
void analyseKeyFileAt(const char* path, const char* inputPath, uint32_t inputSize, char* out,
                      size_t capacity);
