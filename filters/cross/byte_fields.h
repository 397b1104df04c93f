// A pixel's four bytes spread over the four 16-bit fields of a 64-bit word, so that sums
// of several weighted pixels can be formed for all bytes at once without carries between
// them (a field holds up to 65535; the smear's largest sum is 16 x 255).
#pragma once

#include <cstdint>

constexpr uint64_t BYTE_FIELDS = 0x00FF00FF00FF00FFull;

// The pixel's bytes in the low halves of the four fields, byte 0 lowest.
inline uint64_t spreadBytes(uint32_t px) {
    uint64_t v = (px | (static_cast<uint64_t>(px) << 16)) & 0x0000FFFF0000FFFFull;
    return (v | (v << 8)) & BYTE_FIELDS;
}

// The inverse of spreadBytes, for fields below 256.
inline uint32_t gatherBytes(uint64_t v) {
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    return static_cast<uint32_t>(v | (v >> 16));
}

// The smeared pixel, (8 above + 2 left + rest) >> 4 in every field, from its rewritten
// upper and left neighbours and rest = 4 below + centre + right, all spread. No field can
// carry into the next: the sum stays below 2^12.
inline uint64_t smearedBytes(uint64_t above, uint64_t left, uint64_t rest) {
    return (((above << 3) + (left << 1) + rest) >> 4) & BYTE_FIELDS;
}
