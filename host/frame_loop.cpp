#include "host/frame_loop.h"

#include "host/pacer.h"
#include "host/window_geometry.h"
#include "render/pixel_storage.h"

int32_t runFrameLoop(const FrameWindow& spec, const FrameLoopOptions& options, FrameStep step, void* context,
                     std::string* error) {
    int screenWidth = 0, screenHeight = 0;
    if (!openVideo(&screenWidth, &screenHeight, error)) return DISPLAY_LOOP_FAILED;
    const WindowGeometry geometry =
        spec.fit == FrameFit::Stretch
            ? windowGeometry(screenWidth, screenHeight, spec.scale)
            : frameWindowGeometry(screenWidth, screenHeight, spec.scale, spec.frameWidth, spec.frameHeight);
    const DisplayWindowPtr window =
        openDisplayWindow(spec.title, geometry, spec.frameWidth, spec.frameHeight, spec.fit, error);
    if (!window) return DISPLAY_LOOP_FAILED;
    const PixelStorage pixels = allocatePixels(spec.frameWidth, spec.frameHeight);
    if (!pixels) {
        *error = "cannot create the frame buffer: out of memory for a " + std::to_string(spec.frameWidth) + "x" +
                 std::to_string(spec.frameHeight) + " buffer";
        return DISPLAY_LOOP_FAILED;
    }

    Pacer pacer(options.pace);
    int shown = 0;  // the number of the frame on screen
    for (int frame = 1;; ++frame) {
        const HostInput input = drainInput(window.get());
        bool running = !input.quit && !keyHeld(input, KEY_ESCAPE);
        if (options.fullscreenKey && keyPressed(input, KEY_F11)) toggleFullscreen(window.get());
        // Before the next frame overwrites the buffer, which still holds the one on screen.
        if (options.keepFrame && keyPressed(input, KEY_F12)) {
            options.keepFrame(context, pixels.get(), spec.frameWidth, spec.frameHeight, shown);
        }
        if (!step(context, input, frame, pixels.get(), spec.frameWidth, spec.frameHeight)) running = false;
        if (frame >= options.firstShown) {
            pacer.waitForNextFrame();
            presentFrame(window.get(), pixels.get());
            shown = frame;
        }
        if (!running || frame == options.lastFrame) break;
    }
    return 0;
}
