// The window programs' frame loop as one call: frames rendered back to back, each shown as it
// is done.
#pragma once

#include <cstdint>

#include "host/frame_loop.h"
#include "render/types.h"

// Opens a window titled title whose client area is scale times the screen, centred,
// neither resizable nor maximisable, and owns a zero-filled srcWidth x srcHeight buffer.
// Each frame: drain the events without waiting, let frameCallback draw into the buffer,
// enlarge the whole buffer onto the whole client area by pixel replication. A quit or
// close request or Escape ends the loop after the frame in progress. Everything it
// created is released before it returns 0, or DISPLAY_LOOP_FAILED when the display,
// the window or the buffer could not be had.
int32_t runDisplayLoop(const char* title, int srcWidth, int srcHeight, float scale, FrameCallback frameCallback);

// After DISPLAY_LOOP_FAILED: one line, without newline, saying what failed and why,
// with SDL's own words.
const char* displayLoopFailure();

// A FrameCallback takes no context, so a renderFrame inside runDisplayLoop learns of Space
// the way the platform's asynchronous key query would tell it: from the input of the loop's
// latest drain. A PlatformAnswers::spaceHeld.
bool displayLoopSpaceHeld(void* unused);
