// Per-byte arithmetic on packed 32-bit pixels, shared by the trail filters.
#pragma once

#include <cstdint>

// (a + b) >> 1 for each of the four bytes independently, without carries between them.
inline uint32_t averageBytes(uint32_t a, uint32_t b) {
    return (a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1);
}
