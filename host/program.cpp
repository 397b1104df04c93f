#include "host/program.h"

#include <cstdio>

#include "host/display_loop.h"
#include "host/display_window.h"
#include "host/report_line.h"
#include "host/standard_streams.h"
#include "host/window_constants.h"
#include "render/frame_host.h"
#include "render/frame_job.h"
#include "render/frame_step.h"

int runSpongeProgram(const char* programName, const TrailFilterVariants& trailFilter) {
    // A launcher may start the program with standard output closed: the display connection
    // must not become descriptor 1 and receive the frame-rate lines.
    openStandardStreams();
    FrameWorkspace workspace;
    PlatformAnswers platform;
    platform.spaceHeld = displayLoopSpaceHeld;
    platform.clockMs = hostClockMs;
    platform.reportLine = printReportLine;
    RenderSetup setup;
    setup.trailFilter = &trailFilter;
    setup.workspace = &workspace;
    bindFrameHost(platform, setup);
    if (runDisplayLoop(WINDOW_TITLE, RENDER_WIDTH, RENDER_HEIGHT, WINDOW_SCALE, renderFrame) != 0) {
        std::fprintf(stderr, "%s: %s\n", programName, displayLoopFailure());
        return 1;
    }
    return 0;
}
