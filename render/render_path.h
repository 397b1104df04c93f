// Which implementation draws the frames. Every path gives the same pixels; they differ
// only in speed. The plain path is the reference the others are checked against.
#pragma once

enum class RenderPath { Plain, Fast };

void setRenderPath(RenderPath path);
RenderPath renderPath();

// Names the code that runs for the current path, e.g. "plain" or a SIMD target.
const char* renderPathName();
