#include "tools/sponge-render/live_view.h"

#include <cstdio>
#include <string>

#include "flight/free_flight.h"
#include "flight/keyframes.h"
#include "host/display_window.h"
#include "host/frame_loop.h"
#include "host/report_line.h"
#include "host/window_constants.h"
#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/raw_frames.h"
#include "tools/sponge-render/flight_record.h"
#include "tools/sponge-render/frame_stamp.h"
#include "tools/sponge-render/image_file.h"
#include "tools/sponge-render/interrupt.h"
#include "tools/sponge-render/messages.h"

namespace {

struct LiveView {
    RawFrames raw;
    bool spaceDown = false;
    PlatformAnswers platform;
    RenderSetup setup;
    // Free flight (--explore): from frame `from` on, the camera goes as the input says.
    int from = 1;
    float aspect = 1.0f;
    FlightInput input;
    FreeFlight flight;
    const FlightRecord::Tap* record = nullptr;  // --record's, whose failure ends the view
    FrameStamp stamp;                           // what F12's PNGs say they are
};

// The window's keys by their place, as the controls of free flight. A drag is a move with the
// left button held.
FlightInput flightInput(const HostInput& in) {
    static const struct {
        HostKey key;
        FlightControl control;
    } HELD[] = {{KEY_W, FLY_FORWARD}, {KEY_S, FLY_BACK},      {KEY_A, FLY_LEFT},      {KEY_D, FLY_RIGHT},
                {KEY_Q, FLY_DOWN},    {KEY_E, FLY_UP},        {KEY_LEFT, TURN_LEFT},  {KEY_RIGHT, TURN_RIGHT},
                {KEY_UP, TURN_UP},    {KEY_DOWN, TURN_DOWN},  {KEY_SHIFT, FLY_FAST}};
    FlightInput out;
    for (const auto& h : HELD) {
        if (keyHeld(in, h.key)) out.controls |= 1u << h.control;
    }
    if (keyPressed(in, KEY_X)) out.controls |= 1u << TOGGLE_SINGLE_AXIS;
    if (keyPressed(in, KEY_BACKSPACE)) out.controls |= 1u << GIVE_BACK;
    if (buttonHeld(in, BUTTON_LEFT)) {
        out.dragX = in.mouseDx;
        out.dragY = in.mouseDy;
    }
    out.wheel = in.wheel;
    return out;
}

CameraPose explorePose(void* context, float t) {
    LiveView* view = static_cast<LiveView*>(context);
    if (view->raw.current < view->from) return framePose(t);
    if (view->raw.current == view->from) {
        view->flight = startFreeFlight(framePose(t));
        return view->flight.pose;
    }
    return flyFrame(&view->flight, view->input, t, view->aspect);
}

// Space is held while the key is down, and on the frames --raw names.
bool heldOrRaw(void* context) {
    LiveView* view = static_cast<LiveView*>(context);
    return view->spaceDown || rawFrameHeld(&view->raw);
}

bool renderNext(void* context, const HostInput& input, int frame, PixelBuffer pixels, int width, int height) {
    LiveView* view = static_cast<LiveView*>(context);
    view->raw.current = frame;
    view->spaceDown = keyHeld(input, KEY_SPACE);
    view->input = flightInput(input);
    renderFrameWith(view->platform, view->setup, pixels, width, height);
    if (view->record && !view->record->failure.empty()) {
        printError(view->record->failure);
        return false;
    }
    return !interruptRequested();
}

// F12: the frame on screen, whole, under its number, like every other output file.
void keepFrame(void* context, const uint32_t* pixels, int width, int height, int frame) {
    const LiveView* view = static_cast<const LiveView*>(context);
    if (frame == 0) {
        printError("F12: no frame has been shown yet");
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "sponge-%08d.png", frame);
    FileTarget file;
    std::string reason;
    if (!prepareFileTarget(name, &file, &reason) ||
        !writeImageFile(file, ImageFormat::Png, pixels, width, height, &reason, stampText(view->stamp, frame))) {
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
    view.from = options.from;
    view.stamp = frameStamp(options);
    if (options.explore) view.stamp.camera = "free flight";
    view.aspect = static_cast<float>(options.width) / static_cast<float>(options.height);
    FlightPlayback playback{&options.flight, &view.raw.current};
    if (!options.flightPath.empty()) view.setup.poses = {flightPlaybackPose, &playback};
    if (options.explore) view.setup.poses = {explorePose, &view};
    std::string error;
    FlightRecord record;
    FlightRecord::Tap tap{view.setup.poses, &record, &view.raw.current, {}};
    if (!options.recordPath.empty()) {
        if (!record.open(options.recordPath, &error)) {
            printError(error);
            return 1;
        }
        view.setup.poses = {FlightRecord::recordedPose, &tap};
        view.record = &tap;
    }

    const FrameWindow window{"sponge-render", options.width, options.height, FrameFit::KeepAspect, WINDOW_SCALE};
    FrameLoopOptions loop;
    loop.pace = options.pace;
    loop.firstShown = options.from;
    loop.lastFrame = options.frames;
    loop.fullscreenKey = true;
    loop.keepFrame = keepFrame;
    if (runFrameLoop(window, loop, renderNext, &view, &error) != 0) {
        record.abandon();
        printError(error);
        return 1;
    }
    if (!tap.failure.empty()) {
        record.abandon();
        return 1;
    }
    if (!record.finish(&error)) {
        printError(error);
        return 1;
    }
    return interruptRequested() ? interruptedStatus() : 0;
}
