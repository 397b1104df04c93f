#include "tools/sponge-render/render_run.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
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
#include "tools/sponge-render/frame_stamp.h"
#include "tools/sponge-render/image_file.h"
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

// The frame numbers a sequence's files in its folder carry, between first and last.
std::vector<int> framesOnDisk(const OutputTarget& target, int first, int last) {
    const size_t slash = target.prefix.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.prefix.substr(0, slash + 1);
    const std::string start = slash == std::string::npos ? target.prefix : target.prefix.substr(slash + 1);
    std::vector<int> frames;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return frames;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= start.size() + target.suffix.size() || name.compare(0, start.size(), start) != 0) continue;
        const std::string number = name.substr(start.size(), name.size() - start.size() - target.suffix.size());
        const size_t digits = number.find_first_not_of(' ');
        if (digits == std::string::npos || number.size() - digits > 10) continue;
        long long n = 0;
        bool whole = true;
        for (size_t i = digits; i < number.size(); ++i) {
            whole = whole && number[i] >= '0' && number[i] <= '9';
            n = n * 10 + (number[i] - '0');
        }
        if (!whole || n < first || n > last) continue;
        // Only the name this run would give the frame, padding and all.
        const std::string path = sequenceFileName(target, static_cast<int>(n));
        if (path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0) {
            frames.push_back(static_cast<int>(n));
        }
    }
    closedir(dir);
    std::sort(frames.rbegin(), frames.rend());
    return frames;
}

// --resume: the newest frame on disk that reads whole, into pixels; 0 when there is none, -1
// (said on standard error) when it was rendered with other settings.
int resumePoint(const RenderOptions& options, const FrameStamp& stamp, uint32_t* pixels) {
    for (const int frame : framesOnDisk(options.output, options.from, options.frames)) {
        const std::string path = sequenceFileName(options.output, frame);
        ImageRead image;
        std::string reason;
        if (!readImageFile(path, &image, &reason)) {
            printNotice("--resume: '" + path + "' does not read (" + reason + "); it is rendered again");
            continue;
        }
        if (image.width != options.width || image.height != options.height) {
            reason = "it is " + std::to_string(image.width) + "x" + std::to_string(image.height) + ", this command's " +
                     "frames are " + std::to_string(options.width) + "x" + std::to_string(options.height);
        } else if (options.output.imageFormat == ImageFormat::Png) {
            reason = stampDifference(image.text, stamp, frame);
        }
        if (!reason.empty()) {
            printError("--resume: cannot go on from '" + path + "': " + reason);
            return -1;
        }
        std::copy(image.pixels.begin(), image.pixels.end(), pixels);
        return frame;
    }
    return 0;
}

// The frames from startFrame (those before it already in pixels and the clock); the status to
// exit with.
int renderAndWrite(const RenderOptions& options, uint32_t* pixels, FrameOutput& output, FlightRecord& record,
                   int firstWritten, int startFrame) {
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
    for (raw.current = startFrame; raw.current != 0 && !interruptRequested();
         raw.current = frameAfter(raw.current, options.frames)) {
        if (raw.current == options.from) benchStart = progress.elapsedSeconds();
        renderFrameWith(platform, setup, pixels, options.width, options.height);
        if (!tap.failure.empty()) return fail(tap.failure);
        if (raw.current == startFrame && workspace.team && workspace.team->size() < workspace.team->wanted()) {
            printNotice("the system started only " + std::to_string(workspace.team->size()) + " of the " +
                        std::to_string(workspace.team->wanted()) + " threads asked for; rendering with those");
        }
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
        const int threads = workspace.team ? workspace.team->size() : defaultRenderThreads();
        const std::string line = benchLine(options, timed, benchSeconds, threads, renderPathName(options.path)) + "\n";
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

    // A still is the last frame alone; everything else starts at --from, or, resumed, after
    // the last frame on disk.
    int firstWritten = options.output.kind == OutputKind::Still ? options.frames : options.from;
    const FrameStamp stamp = frameStamp(options);
    int startFrame = 1;
    if (options.resume) {
        const int resumed = resumePoint(options, stamp, buffer.get());
        if (resumed < 0) return 2;
        if (resumed == options.frames) {
            printNotice("--resume: nothing to do, frames up to " + std::to_string(resumed) + " are on disk");
            return 0;
        }
        if (resumed > 0) {
            startFrame = resumed + 1;
            firstWritten = startFrame;
            animationTime = clockAfter(resumed);
        }
    }
    installInterruptHandlers();
    std::unique_ptr<FrameOutput> output =
        makeFrameOutput(options.output, options.width, options.height, firstWritten, options.frames, stamp);
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
        return renderAndWrite(options, buffer.get(), *output, record, firstWritten, startFrame);
    } catch (const std::bad_alloc&) {
        output->abandon();
        record.abandon();
        printError(memory);
        return 1;
    }
}
