// sponge-render: the fly-through without a window, frame by frame into files, a video or
// a benchmark line, at the animation's own pace of one clock step per frame; or live in a
// window (--window).
#include <cstdio>
#include <string>

#include "host/standard_streams.h"
#include "render/worker_team.h"
#include "sponge_version.h"
#include "tools/sponge-render/flight_record.h"
#include "tools/sponge-render/messages.h"
#include "tools/sponge-render/options.h"
#include "tools/sponge-render/render_run.h"
#ifdef SPONGE_WINDOW
#include "tools/sponge-render/live_view.h"
#endif

namespace {
// More threads than any machine this runs on has processors; a larger OMP_NUM_THREADS is a
// mistake that would only exhaust memory or the process limit.
constexpr int MOST_THREADS = 1024;
}  // namespace

int main(int argc, char** argv) {
    const bool outputClosed = openStandardStreams();
    RenderOptions options;
    std::string message;
    switch (parseOptions(argc, argv, &options, &message)) {
        case ParseResult::Help: std::fputs(message.c_str(), stdout); return 0;
        case ParseResult::Version: std::puts("sponge-render " SPONGE_VERSION_TEXT); return 0;
        case ParseResult::Error: printError(message); return 2;
        case ParseResult::Run: break;
    }
    if (!options.flightPath.empty()) {
        std::string text, reason;
        if (!readFlightText(options.flightPath, &text, &reason)) {
            printError("--flight: cannot read '" + options.flightPath + "': " + reason);
            return 2;
        }
        if (!bindFlight(text, &options, &message)) {
            printError(message);
            return 2;
        }
    }
    const int asked = capRenderThreads(MOST_THREADS);
    if (asked > MOST_THREADS) {
        printNotice("OMP_NUM_THREADS asks for " + std::to_string(asked) + " threads; rendering with " +
                    std::to_string(MOST_THREADS));
    }
    if (options.window) {
#ifdef SPONGE_WINDOW
        return runLiveView(options);
#else
        printError("--window: this sponge-render was built without windows (SPONGE_WINDOW=OFF)");
        return 2;
#endif
    }
    return runRender(options, outputClosed);
}
