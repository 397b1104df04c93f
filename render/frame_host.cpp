#include "render/frame_host.h"

#include <cstdio>

namespace {
FrameHost boundHost = {nullptr, nullptr, nullptr, nullptr};
}

void bindFrameHost(const FrameHost& host) { boundHost = host; }

const FrameHost& frameHost() { return boundHost; }

void printReportLine(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}
