// Which implementation draws the frames. Every path gives the same pixels; they differ
// only in speed. The plain path is the reference the others are checked against.
#pragma once

enum class RenderPath { Plain, Fast };

// Names the code that runs for path: "plain", or the SIMD target the fast path runs on.
const char* renderPathName(RenderPath path);
