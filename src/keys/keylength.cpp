#include "keys/keylength.h"

uint32_t keyLengthFor(uint32_t inputSize) {
    // 2^32 would wrap to 0 and give an empty key; one byte short of it still covers every
    // input, since inputs are loaded only below 4 GiB.
    if (inputSize >= 0x80000000u) {
        return kLongestKeyLength;
    }
    uint32_t length = 2;
    while (length <= inputSize) {
        length <<= 1;
    }
    return length;
}
