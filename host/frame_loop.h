// The one frame loop of every window: drain the events into an input record, let the
// renderer draw the next frame into the host's buffer, show it. The window programs run it
// back to back; the live view paces it, renders its first frames unseen, stops at a last
// frame and answers F11 and F12.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "host/display_window.h"
#include "host/input.h"
#include "render/types.h"

// What the loop returns when it could not start (the value Windows calls E_FAIL, kept so the
// status reads the same on every platform).
constexpr int32_t DISPLAY_LOOP_FAILED = static_cast<int32_t>(0x80004005u);

// The window and the frames it shows.
struct FrameWindow {
    const char* title;
    int frameWidth;
    int frameHeight;
    // Stretch: the client area is scale times the screen and the frame covers all of it.
    // KeepAspect: the largest whole multiple of the frame size within scale times the screen
    // (or the frame reduced to fit), the frame at its own aspect.
    FrameFit fit;
    float scale;
};

struct FrameLoopOptions {
    int pace = 0;               // frames shown a second; 0: each as soon as it is drawn
    int firstShown = 1;         // frames before it are drawn but not shown
    int lastFrame = INT_MAX;    // the loop ends after this frame
    bool fullscreenKey = false;  // F11 toggles between the window and the whole screen
    // F12 hands this the frame on screen, as rendered, with its number (0 when no frame has
    // been shown yet). Null: F12 does nothing.
    void (*keepFrame)(void* context, const uint32_t* pixels, int width, int height, int frame) = nullptr;
};

// Draws frame number frame (the first is 1) into pixels; input is what the user did since the
// last frame. False ends the loop after this frame.
using FrameStep = bool (*)(void* context, const HostInput& input, int frame, PixelBuffer pixels, int width,
                           int height);

// Opens the window and a zero-filled buffer of the frame size, which keeps its contents from
// frame to frame, and runs frames until the last one, a step that says stop, a quit or close
// request, or Escape (the frame in progress is still drawn and shown). Returns 0 with
// everything released, or DISPLAY_LOOP_FAILED with *error (one line, SDL's words) when the
// display, the window or the buffer could not be had.
int32_t runFrameLoop(const FrameWindow& window, const FrameLoopOptions& options, FrameStep step, void* context,
                     std::string* error);
