// The 2 x 2 down-right blend of sponge-quad.
#pragma once

#include "render/types.h"

// Replaces each pixel but the last row and column with a mix of its 2 x 2 block,
// weighted towards the lower right. Reads only values the pass has not rewritten.
void quadBlendFilter(PixelBuffer pixels, int width, int height);
