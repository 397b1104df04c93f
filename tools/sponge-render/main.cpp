// sponge-render: the fly-through without a window, frame by frame into files, a video or
// a benchmark line, at the animation's own pace of one clock step per frame.
#include <omp.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "render/render_path.h"
#include "tools/sponge-render/frame_output.h"
#include "tools/sponge-render/interrupt.h"
#include "tools/sponge-render/options.h"
#include "tools/sponge-render/progress.h"

namespace {

int currentFrame = 0;  // 1-based number of the frame being rendered
int rawFrom = 0;
int rawTo = 0;

bool spaceHeldForRawFrames() { return currentFrame >= rawFrom && currentFrame <= rawTo; }

void printBenchLine(const RenderOptions& options, int frames, double seconds) {
    const double fps = seconds > 0 ? frames / seconds : 0.0;
    const double mrays = fps * options.width * options.height / 1e6;  // one ray per pixel
    std::printf("frames %d  size %dx%d  filter %s  seconds %.3f  fps %.2f  Mrays/s %.3f  threads %d  path %s\n",
                frames, options.width, options.height, options.filterName.c_str(), seconds, fps, mrays,
                omp_get_max_threads(), renderPathName());
    std::fflush(stdout);
}

// What the summary says became of frames first..last.
std::string outcomeText(const OutputTarget& target, int first, int last) {
    const std::string name = target.toStandardOutput() ? std::string("standard output") : target.path;
    if (last < first) return "nothing written";
    switch (target.kind) {
        case OutputKind::None: return "";
        case OutputKind::Still: return "wrote " + name;
        case OutputKind::Sequence:
            return first == last ? "wrote " + sequenceFileName(target, first)
                                 : "wrote " + sequenceFileName(target, first) + " to " +
                                       sequenceFileName(target, last);
        case OutputKind::Y4m:
        case OutputKind::Encoded:
            return "wrote frames " + std::to_string(first) + "-" + std::to_string(last) + " to " + name;
    }
    return "";
}

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

    // A still is the last frame alone; everything else starts at --from.
    const int firstWritten = options.output.kind == OutputKind::Still ? options.frames : options.from;
    installInterruptHandlers();
    std::unique_ptr<FrameOutput> output =
        makeFrameOutput(options.output, options.width, options.height, firstWritten);
    std::string error;
    if (!output->open(&error)) {
        std::fprintf(stderr, "sponge-render: %s\n", error.c_str());
        return 1;
    }
    setRenderPath(options.path);
    rawFrom = options.rawFrom;
    rawTo = options.rawTo;
    bindFrameHost({spaceHeldForRawFrames, nullptr, nullptr, options.filter});

    Progress progress(options.frames, !options.quiet && isatty(2));
    double benchStart = 0.0;
    int lastDone = 0;
    for (currentFrame = 1; currentFrame <= options.frames && !interruptRequested(); ++currentFrame) {
        if (currentFrame == options.from) benchStart = progress.elapsedSeconds();
        renderFrame(buffer.get(), options.width, options.height);
        if (currentFrame >= firstWritten && !output->write(currentFrame, buffer.get(), &error)) {
            // A Ctrl-C at the terminal also ends the program reading the stream, so the
            // broken pipe that follows is part of the interruption, not a failure.
            if (interruptRequested() && options.output.toStandardOutput()) {
                progress.finish(lastDone, "interrupted");
                return INTERRUPTED_STATUS;
            }
            progress.finish(lastDone, "stopped");
            std::fprintf(stderr, "sponge-render: %s\n", error.c_str());
            output->abandon();
            return 1;
        }
        lastDone = currentFrame;
        progress.update(lastDone);
    }
    const double benchSeconds = progress.elapsedSeconds() - benchStart;

    if (!output->finish(&error)) {
        progress.finish(lastDone, "stopped");
        std::fprintf(stderr, "sponge-render: %s\n", error.c_str());
        return 1;
    }
    const bool interrupted = lastDone < options.frames;
    const std::string outcome = outcomeText(options.output, firstWritten, lastDone);
    progress.finish(lastDone, interrupted ? "interrupted; " + outcome : outcome);
    if (interrupted) {
        // Said even without a terminal: it explains the exit status and what the file holds.
        if (!options.quiet && !progress.enabled()) {
            std::fprintf(stderr, "sponge-render: interrupted after %d of %d frames; %s\n", lastDone,
                         options.frames, outcome.c_str());
        }
        return INTERRUPTED_STATUS;
    }
    if (options.bench) printBenchLine(options, options.frames - options.from + 1, benchSeconds);
    return 0;
}
