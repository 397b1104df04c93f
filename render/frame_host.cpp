#include "render/frame_host.h"

namespace {
PlatformAnswers boundPlatformAnswers;
RenderSetup boundRenderSetup;
}  // namespace

void bindFrameHost(const PlatformAnswers& platform, const RenderSetup& setup) {
    boundPlatformAnswers = platform;
    boundRenderSetup = setup;
}

const PlatformAnswers& boundPlatform() { return boundPlatformAnswers; }

const RenderSetup& boundSetup() { return boundRenderSetup; }
