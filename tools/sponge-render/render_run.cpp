#include "tools/sponge-render/render_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "flight/keyframes.h"
#include "render/raw_frames.h"
#include "tools/sponge-render/flight_record.h"
#include "tools/sponge-render/frame_output.h"
#include "tools/sponge-render/interrupt.h"
#include "tools/sponge-render/messages.h"
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

namespace {

// The frames, from the first; the status to exit with.
int renderAndWrite(const RenderOptions& options, uint32_t* pixels, FrameOutput& output, FlightRecord& record,
                   int firstWritten) {
    RawFrames raw{options.rawFrom, options.rawTo, 0};
    FrameWorkspace workspace;
    const PlatformAnswers platform = rawFramesAnswers(&raw);
    FlightPlayback playback{&options.flight, &raw.current};
    PoseSource poses;
    if (!options.flightPath.empty()) poses = {flightPlaybackPose, &playback};
    FlightRecord::Tap tap{poses, &record, &raw.current, {}};
    if (!options.recordPath.empty()) poses = {FlightRecord::recordedPose, &tap};
    const RenderSetup setup = renderSetup(options.filter, options.path, &workspace, poses);

    Progress progress(options.frames, !options.quiet && isatty(2));
    double benchStart = 0.0;
    int lastDone = 0;
    std::string error;
    auto fail = [&](const std::string& why) {
        progress.finish(lastDone, "stopped");
        printError(why);
        output.abandon();
        record.abandon();
        return 1;
    };
    for (raw.current = 1; raw.current != 0 && !interruptRequested();
         raw.current = frameAfter(raw.current, options.frames)) {
        if (raw.current == options.from) benchStart = progress.elapsedSeconds();
        renderFrameWith(platform, setup, pixels, options.width, options.height);
        if (!tap.failure.empty()) return fail(tap.failure);
        if (raw.current >= firstWritten && !output.write(raw.current, pixels, &error)) {
            // A Ctrl-C at the terminal also ends the program reading the stream, so the
            // broken pipe that follows is part of the interruption, not a failure.
            if (interruptRequested() && options.output.toStandardOutput()) {
                progress.finish(lastDone, "interrupted");
                return record.finish(&error) ? interruptedStatus() : fail(error);
            }
            return fail(error);
        }
        lastDone = raw.current;
        progress.update(lastDone);
    }
    const double benchSeconds = progress.elapsedSeconds() - benchStart;

    if (!output.finish(&error) || !record.finish(&error)) return fail(error);
    const bool interrupted = lastDone < options.frames;
    const std::string outcome = printableText(outcomeText(options.output, firstWritten, lastDone));
    const std::string interruption = outcome.empty() ? "interrupted" : "interrupted; " + outcome;
    progress.finish(lastDone, interrupted ? interruption : outcome);
    if (interrupted) {
        // Said even without a terminal: it explains the exit status and what the file holds.
        if (!options.quiet && !progress.enabled()) {
            printError("interrupted after " + std::to_string(lastDone) + " of " + std::to_string(options.frames) +
                       " frames" + (outcome.empty() ? "" : "; " + outcome));
        }
        return interruptedStatus();
    }
    if (options.bench) {
        const int timed = options.frames - options.from + 1;
        const std::string line =
            benchLine(options, timed, benchSeconds, defaultRenderThreads(), renderPathName(options.path)) + "\n";
        if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            printError(std::string("cannot write the benchmark line to standard output: ") + std::strerror(errno));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int runRender(const RenderOptions& options, bool standardOutputClosed) {
    if (standardOutputClosed && (options.bench || options.output.toStandardOutput())) {
        printError(std::string("standard output is closed, and ") +
                   (options.bench ? "--bench prints its line there" : "--output - streams the video there"));
        return 1;
    }
    const std::string memory = "not enough memory for a " + std::to_string(options.width) + "x" +
                               std::to_string(options.height) + " frame";
    const PixelStorage buffer = allocatePixels(options.width, options.height);
    if (!buffer) {
        printError(memory);
        return 1;
    }

    // A still is the last frame alone; everything else starts at --from.
    const int firstWritten = options.output.kind == OutputKind::Still ? options.frames : options.from;
    installInterruptHandlers();
    std::unique_ptr<FrameOutput> output =
        makeFrameOutput(options.output, options.width, options.height, firstWritten);
    std::string error;
    if (!output->open(&error)) {
        printError(error);
        return 1;
    }
    FlightRecord record;
    if (!options.recordPath.empty() && !record.open(options.recordPath, &error)) {
        printError(error);
        return 1;
    }
    try {
        return renderAndWrite(options, buffer.get(), *output, record, firstWritten);
    } catch (const std::bad_alloc&) {
        output->abandon();
        record.abandon();
        printError(memory);
        return 1;
    }
}
