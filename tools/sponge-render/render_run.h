// sponge-render's work once its options are read: frames rendered one clock step apart,
// written to the output, a progress line, a benchmark line.
#pragma once

#include <string>

#include "tools/sponge-render/options.h"

// Renders frames 1 to options.frames and writes those from options.from on (a still: the
// last alone). Returns the exit status: 0, 1 when output failed (said on standard error),
// or the interruption's status.
int runRender(const RenderOptions& options);

// The --bench line, without its newline.
std::string benchLine(const RenderOptions& options, int frames, double seconds, int threads, const char* pathName);
