// sponge-render: the fly-through without a window, frame by frame into files, a video or
// a benchmark line, at the animation's own pace of one clock step per frame.
#include <cstdio>
#include <string>

#include "host/standard_streams.h"
#include "tools/sponge-render/live_view.h"
#include "tools/sponge-render/messages.h"
#include "tools/sponge-render/options.h"
#include "tools/sponge-render/render_run.h"

int main(int argc, char** argv) {
    const ClosedStreams closed = openStandardStreams();
    RenderOptions options;
    std::string message;
    switch (parseOptions(argc, argv, &options, &message)) {
        case ParseResult::Help: std::fputs(message.c_str(), stdout); return 0;
        case ParseResult::Error: printError(message); return 2;
        case ParseResult::Run: break;
    }
    return options.window ? runLiveView(options) : runRender(options, closed.output);
}
