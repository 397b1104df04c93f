// The SIMD frame path: the same pixels as the plain path, drawn with Highway kernels
// that pick the best instruction set at run time. No Highway types cross this header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/frame_job.h"

// Pixels per hand-out. Small enough that a chunk's working arrays stay in the
// first-level cache and the last chunks of a frame balance the threads; large enough
// that a chunk's ray queue rarely runs dry before its end.
constexpr int FAST_CHUNK_PIXELS = 1024;

// The fast FrameShader: one job for the workspace's team of threads, the frame's pixels
// handed out in chunks of consecutive pixels to whichever thread is free. Keeps the frame's
// row and column coordinates and the team in the workspace.
void shadeFrameFast(const FrameJob& job, FrameWorkspace& workspace);

// traverseSponge for n rays at once, for the tests and the benchmark: distance[i] and
// exitParam[i] are what traverseSponge(origin[.][i], dir[.][i]) returns with
// singleAxisStep == singleAxis.
void traceRaysFast(size_t n, const float* const origin[3], const float* const dir[3], int32_t singleAxis,
                   float* distance, float* exitParam);

// packColour for n channel triples (each value in [0, 1] or NaN), for the tests.
void packColoursFast(size_t n, const float* red, const float* green, const float* blue,
                     uint32_t* packed);

// The SIMD paths' float-to-int32 truncation (truncToInt32's semantics) for n values,
// for the tests.
void truncateFloatsFast(size_t n, const float* in, int32_t* out);

// The Highway target the fast path runs on now, e.g. "AVX2".
const char* fastTargetName();
