#include "render/frame_host.h"

namespace {
FrameHost boundHost;
}

void bindFrameHost(const FrameHost& host) { boundHost = host; }

const FrameHost& frameHost() { return boundHost; }
