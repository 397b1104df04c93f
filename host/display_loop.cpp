#include "host/display_loop.h"

#include <string>

#include "host/display_window.h"
#include "host/window_geometry.h"
#include "render/pixel_storage.h"

namespace {
std::string failure;
}  // namespace

int32_t runDisplayLoop(const char* title, int srcWidth, int srcHeight, float scale, FrameCallback frameCallback) {
    failure.clear();
    int screenWidth = 0, screenHeight = 0;
    if (!openVideo(&screenWidth, &screenHeight, &failure)) return DISPLAY_LOOP_FAILED;
    const DisplayWindowPtr window =
        openDisplayWindow(title, windowGeometry(screenWidth, screenHeight, scale), srcWidth, srcHeight, &failure);
    if (!window) return DISPLAY_LOOP_FAILED;
    const PixelStorage pixels = allocatePixels(srcWidth, srcHeight);
    if (!pixels) {
        failure = "cannot create the frame buffer: out of memory for a " + std::to_string(srcWidth) + "x" +
                  std::to_string(srcHeight) + " buffer";
        return DISPLAY_LOOP_FAILED;
    }
    bool running = true;
    while (running) {
        running = drainEvents(window.get());
        if (escapeHeld()) running = false;
        frameCallback(pixels.get(), srcWidth, srcHeight);
        presentFrame(window.get(), pixels.get());
    }
    return 0;
}

const char* displayLoopFailure() { return failure.c_str(); }
