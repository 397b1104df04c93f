// Command line of sponge-render.
#pragma once

#include <string>

#include "render/render_path.h"
#include "render/types.h"

struct RenderOptions {
    std::string filterName = "cross";
    TrailFilter filter = nullptr;  // bound from filterName; null for "none"
    int width = 240;
    int height = 180;
    int frames = 1;
    int rawFrom = 0;  // frames rawFrom..rawTo (1-based) render as if Space were held; 0: none
    int rawTo = 0;
    std::string output;  // empty: write nothing
    RenderPath path = RenderPath::Fast;
};

enum class ParseResult { Run, Help, Error };

// Parses argv into options. Help text goes to standard output; an error is one line on
// standard error naming the argument.
ParseResult parseOptions(int argc, char** argv, RenderOptions* options);
