#include "tools/sponge-render/live_view.h"

#include <chrono>
#include <string>
#include <thread>

#include "host/display_window.h"
#include "host/report_line.h"
#include "host/window_geometry.h"
#include "render/frame_host.h"
#include "render/frame_step.h"
#include "render/pixel_storage.h"
#include "render/raw_frames.h"
#include "tools/sponge-render/messages.h"
#include "tools/sponge-render/render_run.h"

namespace {

constexpr float WINDOW_SCALE = 0.8f;

// Space is held while the key is down, and on the frames --raw names.
bool heldOrRaw(void* context) { return rawFrameHeld(context) || spaceHeld(); }

using Clock = std::chrono::steady_clock;

// When each frame is shown: on an absolute schedule of 1/pace seconds from the first, so
// that the frames keep the pace on average whatever each one takes; after a stall of more
// than a frame the schedule starts afresh rather than rushing to catch up.
class Pacer {
public:
    explicit Pacer(int pace) : period_(pace > 0 ? std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(1.0 / pace))
                                               : Clock::duration::zero()) {}

    void waitForNextFrame() {
        if (period_ == Clock::duration::zero()) return;
        const Clock::time_point now = Clock::now();
        if (!started_ || now > due_ + period_) {
            started_ = true;
            due_ = now + period_;
            return;
        }
        std::this_thread::sleep_until(due_);
        due_ += period_;
    }

private:
    Clock::duration period_;
    Clock::time_point due_;
    bool started_ = false;
};

}  // namespace

int runLiveView(const RenderOptions& options) {
    int screenWidth = 0, screenHeight = 0;
    std::string error;
    if (!openVideo(&screenWidth, &screenHeight, &error)) {
        printError(error);
        return 1;
    }
    const WindowGeometry geometry =
        frameWindowGeometry(screenWidth, screenHeight, WINDOW_SCALE, options.width, options.height);
    const DisplayWindowPtr window = openDisplayWindow("sponge-render", geometry, options.width, options.height, &error);
    if (!window) {
        printError(error);
        return 1;
    }
    const PixelStorage pixels = allocatePixels(options.width, options.height);
    if (!pixels) {
        printError("not enough memory for a " + std::to_string(options.width) + "x" + std::to_string(options.height) +
                   " frame");
        return 1;
    }

    RawFrames raw{options.rawFrom, options.rawTo, 0};
    FrameWorkspace workspace;
    FrameHost host = rawFramesHost(&raw, options.filter, options.path, &workspace);
    host.spaceHeld = heldOrRaw;  // the key as well
    host.clockMs = clockMs;
    host.reportLine = options.quiet ? nullptr : printReportLine;

    Pacer pacer(options.pace);
    bool running = true;
    for (raw.current = 1; raw.current != 0 && running; raw.current = frameAfter(raw.current, options.frames)) {
        running = drainEvents(window.get()) && !escapeHeld();
        renderFrameWith(host, pixels.get(), options.width, options.height);
        if (raw.current < options.from) continue;  // building the blend, unseen
        pacer.waitForNextFrame();
        presentFrame(window.get(), pixels.get());
    }
    return 0;
}
