#include "host/display_loop.h"

#include <string>

namespace {

std::string failure;
FrameCallback callback = nullptr;
HostInput latestInput;  // the drain just before the frame in progress

bool callFrameCallback(void*, const HostInput& input, int, PixelBuffer pixels, int width, int height) {
    latestInput = input;
    callback(pixels, width, height);
    return true;
}

}  // namespace

int32_t runDisplayLoop(const char* title, int srcWidth, int srcHeight, float scale, FrameCallback frameCallback) {
    failure.clear();
    callback = frameCallback;
    latestInput = HostInput{};
    const FrameWindow window{title, srcWidth, srcHeight, FrameFit::Stretch, scale};
    return runFrameLoop(window, FrameLoopOptions{}, callFrameCallback, nullptr, &failure);
}

const char* displayLoopFailure() { return failure.c_str(); }

bool displayLoopSpaceHeld(void*) { return keyHeld(latestInput, KEY_SPACE); }
