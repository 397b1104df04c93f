// The recursive five-point smear of sponge-cross.
#pragma once

#include <cstdint>
#include <vector>

#include "render/types.h"

// The TrailFilter of sponge-cross. Rewrites the interior in place, one pixel at a time,
// rows top to bottom, columns left to right; the left and upper neighbours it reads are
// already rewritten, so colour runs down and right.
void crossSmearFilter(PixelBuffer pixels, int width, int height);

// The same result, several rows at once along a wavefront, in SIMD where it can be.
void crossSmearFilterFast(PixelBuffer pixels, int width, int height, std::vector<uint64_t>& scratch);
