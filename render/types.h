// Types shared by the renderer, the trail filters and every host.
#pragma once

#include <cstdint>

// width x height words, row-major, row 0 at the top; each word 0x00RRGGBB.
// Bits 24-31 are 0 as produced and are carried through by the blend and the filters.
using PixelBuffer = uint32_t*;

// Draws one frame into the buffer. The return value carries no meaning.
using FrameCallback = int (*)(PixelBuffer pixels, int width, int height);

// Rewrites the buffer in place after a blended frame.
using TrailFilter = void (*)(PixelBuffer pixels, int width, int height);

struct TraversalResult {
    float distance;
    float exitParam;
    float exitParam2;  // the record always carries three copies of exitParam
    float exitParam3;
};
