#include "host/frame_loop.h"

#include "host/pacer.h"
#include "host/window_geometry.h"
#include "render/pixel_storage.h"

int32_t runFrameLoop(const FrameWindow& window, const FrameLoopOptions& options, FrameStep step, void* context,
                     std::string* error) {
    int screenWidth = 0, screenHeight = 0;
    if (!openVideo(&screenWidth, &screenHeight, error)) return DISPLAY_LOOP_FAILED;
    const WindowGeometry geometry =
        window.fit == FrameFit::Stretch
            ? windowGeometry(screenWidth, screenHeight, window.scale)
            : frameWindowGeometry(screenWidth, screenHeight, window.scale, window.frameWidth, window.frameHeight);
    const DisplayWindowPtr display =
        openDisplayWindow(window.title, geometry, window.frameWidth, window.frameHeight, window.fit, error);
    if (!display) return DISPLAY_LOOP_FAILED;
    const PixelStorage pixels = allocatePixels(window.frameWidth, window.frameHeight);
    if (!pixels) {
        *error = "cannot create the frame buffer: out of memory for a " + std::to_string(window.frameWidth) + "x" +
                 std::to_string(window.frameHeight) + " buffer";
        return DISPLAY_LOOP_FAILED;
    }

    Pacer pacer(options.pace);
    int shown = 0;  // the number of the frame on screen
    for (int frame = 1;; ++frame) {
        const HostInput input = drainInput(display.get());
        bool running = !input.quit && !keyHeld(input, KEY_ESCAPE);
        if (options.fullscreenKey && keyPressed(input, KEY_F11)) toggleFullscreen(display.get());
        // Before the next frame overwrites the buffer, which still holds the one on screen.
        if (options.keepFrame && keyPressed(input, KEY_F12)) {
            options.keepFrame(context, pixels.get(), window.frameWidth, window.frameHeight, shown);
        }
        if (!step(context, input, frame, pixels.get(), window.frameWidth, window.frameHeight)) running = false;
        if (frame >= options.firstShown) {
            pacer.waitForNextFrame();
            presentFrame(display.get(), pixels.get());
            shown = frame;
        }
        if (!running || frame == options.lastFrame) break;
    }
    return 0;
}
