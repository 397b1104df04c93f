// The 2 x 2 down-right blend of sponge-quad.
#pragma once

#include <cstdint>
#include <vector>

#include "render/types.h"

// The TrailFilter of sponge-quad. Replaces each pixel but the last row and column with a
// mix of its 2 x 2 block, weighted towards the lower right, one pixel at a time. Reads
// only values the pass has not rewritten.
void quadBlendFilter(PixelBuffer pixels, int width, int height);

// The same result a vector of pixels at a time (Highway, best target at run time). Needs
// no scratch memory.
void quadBlendFilterFast(PixelBuffer pixels, int width, int height, std::vector<uint64_t>& scratch);
