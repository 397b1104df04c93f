// A float's bit pattern and back, for code that reasons about the bits themselves.
#pragma once

#include <cstdint>
#include <cstring>

inline uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline float floatOf(uint32_t b) {
    float x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}
