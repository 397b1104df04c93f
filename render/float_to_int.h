// Truncating float-to-int32 conversion with the x86 semantics the images depend on.
#pragma once

#include <cstdint>

// NaN and values outside the int32 range give INT32_MIN, as cvttss2si does.
// A plain cast of such a value is undefined behaviour in C++, so range-check first.
inline int32_t truncToInt32(float x) {
    if (x >= -2147483648.0f && x < 2147483648.0f) return static_cast<int32_t>(x);
    return INT32_MIN;
}

inline int32_t truncToInt32(double x) {
    if (x > -2147483649.0 && x < 2147483648.0) return static_cast<int32_t>(x);
    return INT32_MIN;
}
