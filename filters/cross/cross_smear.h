// The recursive five-point smear of sponge-cross.
#pragma once

#include "render/types.h"

// Rewrites the interior in place, rows top to bottom, columns left to right; the left
// and upper neighbours it reads are already rewritten, so colour runs down and right.
// Runs crossSmearFilterPlain or crossSmearFilterFast as the render path says.
void crossSmearFilter(PixelBuffer pixels, int width, int height);

// The reference: one pixel at a time in the order above.
void crossSmearFilterPlain(PixelBuffer pixels, int width, int height);

// The same result, several rows at once along a wavefront, in SIMD where it can be.
void crossSmearFilterFast(PixelBuffer pixels, int width, int height);
