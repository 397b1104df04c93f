// sponge-render: the fly-through without a window, frame by frame into files, a video or
// a benchmark line, at the animation's own pace of one clock step per frame; or live in a
// window (--window).
#include <cstdio>
#include <cstdlib>
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

// Lowers a thread count above MOST_THREADS, with a note. LLVM's OpenMP reads OMP_NUM_THREADS
// at the first OpenMP call and aborts on an absurd value, so the variable itself is lowered
// before any; GCC's reads it when loaded, so the count is lowered as well.
void limitThreads() {
    const char* asked = std::getenv("OMP_NUM_THREADS");
    unsigned long long n = 0;
    for (const char* c = asked ? asked : ""; *c >= '0' && *c <= '9' && n <= MOST_THREADS; ++c) n = n * 10 + (*c - '0');
    if (n > MOST_THREADS) {
        printNotice(std::string("OMP_NUM_THREADS asks for ") + asked + " threads; rendering with " +
                    std::to_string(MOST_THREADS));
        setenv("OMP_NUM_THREADS", std::to_string(MOST_THREADS).c_str(), 1);
    }
    capRenderThreads(MOST_THREADS);
}

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
    limitThreads();
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
