#include "tools/sponge-render/render_run.h"

#include <omp.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "render/raw_frames.h"
#include "tools/sponge-render/frame_output.h"
#include "tools/sponge-render/interrupt.h"
#include "tools/sponge-render/progress.h"

std::string benchLine(const RenderOptions& options, int frames, double seconds, int threads, const char* pathName) {
    const double fps = seconds > 0 ? frames / seconds : 0.0;
    const double mrays = fps * options.width * options.height / 1e6;  // one ray per pixel
    char text[256];
    std::snprintf(text, sizeof text,
                  "frames %d  size %dx%d  filter %s  seconds %.3f  fps %.2f  Mrays/s %.3f  threads %d  path %s",
                  frames, options.width, options.height, options.filterName.c_str(), seconds, fps, mrays,
                  threads, pathName);
    return text;
}

int runRender(const RenderOptions& options) {
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
    RawFrames raw{options.rawFrom, options.rawTo, 0};
    FrameWorkspace workspace;
    FrameHost host;
    host.context = &raw;
    host.spaceHeld = rawFrameHeld;
    host.trailFilter = options.filter;
    host.path = options.path;
    host.workspace = &workspace;

    Progress progress(options.frames, !options.quiet && isatty(2));
    double benchStart = 0.0;
    int lastDone = 0;
    for (raw.current = 1; raw.current <= options.frames && !interruptRequested(); ++raw.current) {
        if (raw.current == options.from) benchStart = progress.elapsedSeconds();
        renderFrameWith(host, buffer.get(), options.width, options.height);
        if (raw.current >= firstWritten && !output->write(raw.current, buffer.get(), &error)) {
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
        lastDone = raw.current;
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
    if (options.bench) {
        const int timed = options.frames - options.from + 1;
        std::printf("%s\n", benchLine(options, timed, benchSeconds, omp_get_max_threads(),
                                      renderPathName(options.path)).c_str());
        std::fflush(stdout);
    }
    return 0;
}
