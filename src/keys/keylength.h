// The length of a key made for an input file: shared by the key file generator and the KeyStore.
#pragma once

#include <cstdint>

// The largest key length there is: a key for inputs of 2 GiB or more, which have no power of
// two above them in 32 bits. It is still longer than any input the program loads.
constexpr uint32_t kLongestKeyLength = 0xFFFFFFFFu;

// The smallest power of two strictly above inputSize, at least 2 (0 -> 2, 1024 -> 2048);
// kLongestKeyLength for inputs of 2^31 bytes or more.
uint32_t keyLengthFor(uint32_t inputSize);
