#include "host/program.h"

#include <cstdio>

#include "host/display_loop.h"
#include "host/display_window.h"
#include "host/report_line.h"
#include "host/standard_streams.h"
#include "render/frame_host.h"
#include "render/frame_job.h"
#include "render/frame_step.h"

namespace {

constexpr const char* WINDOW_TITLE = "Create DIB";
constexpr int RENDER_WIDTH = 240;
constexpr int RENDER_HEIGHT = 180;
constexpr float WINDOW_SCALE = 0.8f;


}  // namespace

int runSpongeProgram(const char* programName, const TrailFilterVariants& trailFilter) {
    // A launcher may start the program with standard output closed: the display connection
    // must not become descriptor 1 and receive the frame-rate lines.
    openStandardStreams();
    FrameWorkspace workspace;
    FrameHost host;
    host.spaceHeld = spaceHeld;
    host.clockMs = clockMs;
    host.reportLine = printReportLine;
    host.trailFilter = &trailFilter;
    host.workspace = &workspace;
    bindFrameHost(host);
    if (runDisplayLoop(WINDOW_TITLE, RENDER_WIDTH, RENDER_HEIGHT, WINDOW_SCALE, renderFrame) != 0) {
        std::fprintf(stderr, "%s: %s\n", programName, displayLoopFailure());
        return 1;
    }
    return 0;
}
