// The SIMD frame path: the same pixels as the plain path, drawn with Highway kernels
// that pick the best instruction set at run time. No Highway types cross this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/shade_row.h"
#include "render/types.h"

// Everything the rows of one frame share.
struct FastFrame {
    PixelBuffer pixels;
    int width;
    int height;
    int blendEnabled;
    int32_t singleAxis;
    FrameView view;
    const float* rowV;     // v of every row, accumulated row by row as the frame step does
    const float* columnU;  // eyeRayU of every column, then FAST_COLUMN_PAD readable entries
};

// Entries past the last column of FastFrame::columnU: whole vectors are loaded.
constexpr size_t FAST_COLUMN_PAD = 64;

// Pixels per hand-out. Small enough that a chunk's working arrays stay in the
// first-level cache and the last chunks of a frame balance the threads; large enough
// that a chunk's ray queue rarely runs dry before its end.
constexpr int FAST_CHUNK_PIXELS = 1024;

// Shades every pixel of the frame: one parallel region, the pixels handed out in
// chunks of consecutive pixels to whichever thread is free.
void shadeFrameFast(const FastFrame& frame);

// traverseSponge for n rays at once, for the tests: distance[i] and exitParam[i] are
// what traverseSponge(origin[.][i], dir[.][i]) returns with singleAxisStep == singleAxis.
void traceRaysFast(size_t n, const float* const origin[3], const float* const dir[3],
                   int32_t singleAxis, float* distance, float* exitParam);

// packColour for n channel triples (each value in [0, 1] or NaN), for the tests.
void packColoursFast(size_t n, const float* red, const float* green, const float* blue,
                     uint32_t* packed);

// The SIMD paths' float-to-int32 truncation (truncToInt32's semantics) for n values,
// for the tests.
void truncateFloatsFast(size_t n, const float* in, int32_t* out);

// The Highway target the fast path runs on now, e.g. "AVX3".
const char* fastTargetName();

// Every target compiled in that this CPU can run.
std::vector<int64_t> fastTargets();

// Makes the fast path run on the given target (one of fastTargets()); 0 returns to the
// best one. For tests and benchmarks.
void forceFastTarget(int64_t target);
