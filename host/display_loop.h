// The window, the pixel buffer and the frame loop. This is the only code that knows SDL;
// the renderer reaches the keyboard and the clock through hostSpaceHeld and hostClockMs.
#pragma once

#include <cstdint>

#include "render/types.h"

// What runDisplayLoop returns when it could not start (the value Windows calls E_FAIL,
// kept so the status reads the same on every platform).
constexpr int32_t DISPLAY_LOOP_FAILED = static_cast<int32_t>(0x80004005u);

// Opens a window titled title whose client area is scale times the screen, centred,
// neither resizable nor maximisable, and owns a zero-filled srcWidth x srcHeight buffer.
// Each frame: drain the events without waiting, let frameCallback draw into the buffer,
// enlarge the whole buffer onto the whole client area by pixel replication. A quit or
// close request or Escape ends the loop after the frame in progress. Everything it
// created is released before it returns 0, or DISPLAY_LOOP_FAILED when the display,
// the window, the renderer or the buffer could not be had.
int32_t runDisplayLoop(const char* title, int srcWidth, int srcHeight, float scale,
                       FrameCallback frameCallback);

// After DISPLAY_LOOP_FAILED: one line, without newline, saying what failed and why,
// with SDL's own words.
const char* displayLoopFailure();

// Is Space held? The state as of the last event drain, which the loop runs just before
// each frame, so a query from the frame callback sees the key as it is now.
bool hostSpaceHeld();

// Milliseconds since SDL started counting, 1 ms resolution, wrapping at 2^32.
uint32_t hostClockMs();
