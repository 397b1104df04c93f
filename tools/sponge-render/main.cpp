// sponge-render: the fly-through without a window, frame by frame into a file.
#include <cstdio>

#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "render/render_path.h"
#include "tools/sponge-render/image_file.h"
#include "tools/sponge-render/options.h"

namespace {

int currentFrame = 0;  // 1-based number of the frame being rendered
int rawFrom = 0;
int rawTo = 0;

bool spaceHeldForRawFrames() { return currentFrame >= rawFrom && currentFrame <= rawTo; }

}  // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    switch (parseOptions(argc, argv, &options)) {
        case ParseResult::Help: return 0;
        case ParseResult::Error: return 2;
        case ParseResult::Run: break;
    }

    const PixelStorage buffer = allocatePixels(options.width, options.height);
    if (!buffer) {
        std::fprintf(stderr, "sponge-render: not enough memory for a %dx%d frame\n", options.width,
                     options.height);
        return 1;
    }

    setRenderPath(options.path);
    rawFrom = options.rawFrom;
    rawTo = options.rawTo;
    bindFrameHost({spaceHeldForRawFrames, nullptr, nullptr, options.filter});
    for (currentFrame = 1; currentFrame <= options.frames; ++currentFrame) {
        renderFrame(buffer.get(), options.width, options.height);
    }

    if (!options.output.empty()) {
        ImageFormat format;
        imageFormatFor(options.output, &format);
        std::string error;
        if (!writeImageFile(options.output, format, buffer.get(), options.width, options.height, &error)) {
            std::fprintf(stderr, "sponge-render: cannot write '%s': %s\n", options.output.c_str(),
                         error.c_str());
            return 1;
        }
    }
    return 0;
}
