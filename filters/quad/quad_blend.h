// The 2 x 2 down-right blend of sponge-quad.
#pragma once

#include "render/types.h"

// Replaces each pixel but the last row and column with a mix of its 2 x 2 block,
// weighted towards the lower right. Reads only values the pass has not rewritten.
// Runs quadBlendFilterPlain or quadBlendFilterFast as the render path says.
void quadBlendFilter(PixelBuffer pixels, int width, int height);

// The reference: one pixel at a time.
void quadBlendFilterPlain(PixelBuffer pixels, int width, int height);

// The same result a vector of pixels at a time (Highway, best target at run time).
void quadBlendFilterFast(PixelBuffer pixels, int width, int height);
