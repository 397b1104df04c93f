#include "host/program.h"

#include <cstdio>

#include "host/display_loop.h"
#include "render/frame_host.h"
#include "render/frame_step.h"

namespace {

constexpr const char* WINDOW_TITLE = "Create DIB";
constexpr int RENDER_WIDTH = 240;
constexpr int RENDER_HEIGHT = 180;
constexpr float WINDOW_SCALE = 0.8f;

}  // namespace

int runSpongeProgram(const char* programName, TrailFilter trailFilter) {
    bindFrameHost({hostSpaceHeld, hostClockMs, printReportLine, trailFilter});
    if (runDisplayLoop(WINDOW_TITLE, RENDER_WIDTH, RENDER_HEIGHT, WINDOW_SCALE, renderFrame) != 0) {
        std::fprintf(stderr, "%s: %s\n", programName, displayLoopFailure());
        return 1;
    }
    return 0;
}
