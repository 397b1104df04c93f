// Types shared by the renderer, the trail filters and every host.
#pragma once

#include <cstdint>
#include <vector>

// width x height words, row-major, row 0 at the top; each word 0x00RRGGBB.
// Bits 24-31 are 0 as produced and are carried through by the blend and the filters.
using PixelBuffer = uint32_t*;

// Draws one frame into the buffer. The return value carries no meaning.
using FrameCallback = int (*)(PixelBuffer pixels, int width, int height);

// Rewrites the buffer in place after a blended frame.
using TrailFilter = void (*)(PixelBuffer pixels, int width, int height);

// A TrailFilter's fast variant: the same pixels, with working memory that its caller keeps
// from frame to frame (it grows the vector when it needs more).
using FastTrailFilter = void (*)(PixelBuffer pixels, int width, int height, std::vector<uint64_t>& scratch);

// A trail filter as a program binds it: the reference routine, run with the plain render
// path, and its fast variant, run with the fast one.
struct TrailFilterVariants {
    TrailFilter plain;
    FastTrailFilter fast;
};

struct TraversalResult {
    float distance;
    float exitParam;
    float exitParam2;  // the record always carries three copies of exitParam
    float exitParam3;
};
