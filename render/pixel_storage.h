// Zero-filled pixel memory for hosts, aligned for the widest SIMD vector. Highway's
// AllocateAligned would give the same, but it lives in Highway's library, and the browser
// build compiles the renderer with Highway's headers alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

constexpr size_t PIXEL_ALIGNMENT = 64;

struct FreeDeleter {
    void operator()(uint32_t* p) const { std::free(p); }
};
using PixelStorage = std::unique_ptr<uint32_t[], FreeDeleter>;

// Null when the memory cannot be had.
inline PixelStorage allocatePixels(int width, int height) {
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(uint32_t);
    const size_t rounded = (bytes + PIXEL_ALIGNMENT - 1) / PIXEL_ALIGNMENT * PIXEL_ALIGNMENT;
    void* p = std::aligned_alloc(PIXEL_ALIGNMENT, rounded == 0 ? PIXEL_ALIGNMENT : rounded);
    if (p) std::memset(p, 0, rounded == 0 ? PIXEL_ALIGNMENT : rounded);
    return PixelStorage(static_cast<uint32_t*>(p));
}
