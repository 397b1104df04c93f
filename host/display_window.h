// A window that shows a frame buffer, enlarged or reduced by the nearest pixel, with its
// events and keys and a millisecond clock. This and the loops built on it are the only code
// that knows SDL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/window_geometry.h"

struct DisplayWindow;

struct DisplayWindowCloser {
    void operator()(DisplayWindow* window) const;
};
using DisplayWindowPtr = std::unique_ptr<DisplayWindow, DisplayWindowCloser>;

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
                                   std::string* error);

// "surface" or "texture".
const char* presentationName(const DisplayWindow* window);

// Takes the events that are waiting, without waiting for any. False once the user has asked
// to end: a quit request, the window's close button, Escape.
bool drainEvents(DisplayWindow* window);

// The whole frame onto the whole client area, each screen pixel the frame pixel under its
// centre.
void presentFrame(DisplayWindow* window, const uint32_t* pixels);

// Is the key held? The state as of the last drainEvents.
bool escapeHeld();

// Space and the clock take the context of a FrameHost callback, which they do not use, so
// that a host can hand them to the renderer as they are.
bool spaceHeld(void* unused = nullptr);

// Milliseconds since the video was opened, 1 ms resolution, wrapping at 2^32.
uint32_t clockMs(void* unused = nullptr);
