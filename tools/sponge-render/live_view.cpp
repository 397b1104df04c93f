#include "tools/sponge-render/live_view.h"

#include <cstdio>
#include <string>

#include "host/display_window.h"
#include "host/frame_loop.h"
#include "host/report_line.h"
#include "host/window_constants.h"
#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/raw_frames.h"
#include "tools/sponge-render/image_file.h"
#include "tools/sponge-render/interrupt.h"
#include "tools/sponge-render/messages.h"

namespace {

struct LiveView {
    RawFrames raw;
    bool spaceDown = false;
    PlatformAnswers platform;
    RenderSetup setup;
};

// Space is held while the key is down, and on the frames --raw names.
bool heldOrRaw(void* context) {
    LiveView* view = static_cast<LiveView*>(context);
    return view->spaceDown || rawFrameHeld(&view->raw);
}

bool renderNext(void* context, const HostInput& input, int frame, PixelBuffer pixels, int width, int height) {
    LiveView* view = static_cast<LiveView*>(context);
    view->raw.current = frame;
    view->spaceDown = keyHeld(input, KEY_SPACE);
    renderFrameWith(view->platform, view->setup, pixels, width, height);
    return !interruptRequested();
}

// F12: the frame on screen, whole, under its number, like every other output file.
void keepFrame(void*, const uint32_t* pixels, int width, int height, int frame) {
    if (frame == 0) {
        printError("F12: no frame has been shown yet");
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "sponge-%08d.png", frame);
    FileTarget file;
    std::string reason;
    if (!prepareFileTarget(name, &file, &reason) ||
        !writeImageFile(file, ImageFormat::Png, pixels, width, height, &reason)) {
        printError(std::string("F12: cannot write '") + name + "': " + reason);
        return;
    }
    printNotice(std::string("wrote ") + name);
}

}  // namespace

int runLiveView(const RenderOptions& options) {
    // Before the video is opened: SDL then leaves the stopping signals to us, and a Ctrl-C
    // ends the view in order with the status that says so.
    installInterruptHandlers();
    FrameWorkspace workspace;
    LiveView view;
    view.raw = {options.rawFrom, options.rawTo, 0};
    view.platform.context = &view;
    view.platform.spaceHeld = heldOrRaw;
    view.platform.clockMs = hostClockMs;
    view.platform.reportLine = options.quiet ? nullptr : printReportLine;
    view.setup.trailFilter = options.filter;
    view.setup.path = options.path;
    view.setup.workspace = &workspace;

    const FrameWindow window{"sponge-render", options.width, options.height, FrameFit::KeepAspect, WINDOW_SCALE};
    FrameLoopOptions loop;
    loop.pace = options.pace;
    loop.firstShown = options.from;
    loop.lastFrame = options.frames;
    loop.fullscreenKey = true;
    loop.keepFrame = keepFrame;
    std::string error;
    if (runFrameLoop(window, loop, renderNext, &view, &error) != 0) {
        printError(error);
        return 1;
    }
    return interruptRequested() ? interruptedStatus() : 0;
}
