// A window that shows a frame buffer, enlarged or reduced by the nearest pixel, with the
// user's input as data and a millisecond clock. This file's .cpp is the only code that knows
// SDL; nothing of SDL crosses this header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/input.h"
#include "host/window_geometry.h"

struct DisplayWindow;

struct DisplayWindowCloser {
    void operator()(DisplayWindow* window) const;
};
using DisplayWindowPtr = std::unique_ptr<DisplayWindow, DisplayWindowCloser>;

// How the frame covers the window.
enum class FrameFit {
    Stretch,     // the whole frame onto the whole client area, whatever their aspects
    KeepAspect,  // as large as fits at the frame's own aspect, centred, black bars beside it
};

// Opens SDL's video with the first driver that shows something (or the one SDL_VIDEODRIVER
// names) and reads the screen size. False with *error, one line in SDL's words.
bool openVideo(int* screenWidth, int* screenHeight, std::string* error);

// After openVideo: a window titled title whose client area is geometry's size at geometry's
// place, neither resizable nor maximisable, showing frames of srcWidth x srcHeight. Null with
// *error when it cannot be had. Closing it closes the video too.
//
// Frames reach the screen through the window's own surface where the platform has one in
// 32-bit XRGB without a GPU in between (X11, shared memory), the enlargement done here; else
// through an SDL texture, which the GPU or SDL's renderer stretches. SPONGE_PRESENT=texture
// in the environment asks for the texture path.
DisplayWindowPtr openDisplayWindow(const char* title, const WindowGeometry& geometry, int srcWidth, int srcHeight,
                                   FrameFit fit, std::string* error);

// Takes the events that are waiting, without waiting for any, and says what they were.
// A quit request ends the drain at once: the events behind it stay queued.
HostInput drainInput(DisplayWindow* window);

// The whole frame onto the client area as the window's FrameFit says, each screen pixel the
// frame pixel under its centre.
void presentFrame(DisplayWindow* window, const uint32_t* pixels);

// Between the window as it was opened and the whole screen (the frame at its aspect, black
// bars beside it); the window comes back at its old size and place.
void toggleFullscreen(DisplayWindow* window);

// Milliseconds since the video was opened, 1 ms resolution, wrapping at 2^32. It takes a
// PlatformAnswers context, which it does not use, so that a host can hand it over as it is.
uint32_t hostClockMs(void* unused = nullptr);
