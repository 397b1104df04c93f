// Command line of sponge-render.
#pragma once

#include <string>

#include "render/render_path.h"
#include "render/types.h"
#include "tools/sponge-render/output_target.h"

struct RenderOptions {
    std::string filterName = "cross";
    const TrailFilterVariants* filter = nullptr;  // found by filterName; null for "none"
    int width = 240;
    int height = 180;
    int frames = 1;  // number of the last frame rendered; with --window, by default no limit (INT32_MAX)
    int from = 1;    // first frame written (and timed by --bench); earlier ones only build the blend
    int rawFrom = 0;  // frames rawFrom..rawTo (1-based) render as if Space were held; 0: none
    int rawTo = 0;
    OutputTarget output;  // kind None: write nothing
    bool quiet = false;   // no progress line (with --window: no frame-rate line)
    bool bench = false;   // write nothing, print one line of timings on standard output
    bool window = false;  // show the frames in a window instead of writing them
    int pace = 60;        // with --window: frames shown per second; 0: as fast as they come
    RenderPath path = RenderPath::Fast;
};

enum class ParseResult { Run, Help, Error };

// Parses argv into options. *message receives the help text for Help, and for Error one
// line (no newline) naming the argument.
ParseResult parseOptions(int argc, const char* const* argv, RenderOptions* options, std::string* message);
