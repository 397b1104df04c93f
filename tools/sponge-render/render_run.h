// sponge-render's work once its options are read: frames rendered one clock step apart,
// written to the output, a progress line, a benchmark line.
#pragma once

#include <string>

#include "tools/sponge-render/options.h"

// Renders frames 1 to options.frames and writes those from options.from on (a still: the
// last alone). standardOutputClosed: the program started with descriptor 1 closed, so what
// --bench and --output - write there would be lost. Returns the exit status: 0, 1 when
// output failed (said on standard error), or the interruption's status.
int runRender(const RenderOptions& options, bool standardOutputClosed);

// The number of the frame after frame, or 0 after the last: a count that stops at last, also
// when last is INT32_MAX.
inline int frameAfter(int frame, int last) { return frame < last ? frame + 1 : 0; }

// The --bench line, without its newline.
std::string benchLine(const RenderOptions& options, int frames, double seconds, int threads, const char* pathName);
