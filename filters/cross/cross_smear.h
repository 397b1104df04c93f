// The recursive five-point smear of sponge-cross.
#pragma once

#include "render/types.h"

// Rewrites the interior in place, rows top to bottom, columns left to right; the left
// and upper neighbours it reads are already rewritten, so colour runs down and right.
void crossSmearFilter(PixelBuffer pixels, int width, int height);
