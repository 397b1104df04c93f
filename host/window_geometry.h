// Where a window goes and how big its client area is, from the screen size alone.
#pragma once

struct WindowGeometry {
    int width;   // client area
    int height;
    int x;       // top-left corner on the screen
    int y;
};

// The client area is scale times the screen, each side truncated from the exact product
// (a float scale such as 0.8f is a little above 0.8, which decides e.g. 1366 -> 1092).
// The corner centres a window of that client size; the halving is done on unsigned
// 32-bit values, so a client larger than the screen wraps to a far positive corner
// rather than a negative one.
WindowGeometry windowGeometry(int screenWidth, int screenHeight, float scale);

// A window for frames of frameWidth x frameHeight within scale times the screen: the largest
// whole multiple of the frame size that fits, or, if not even the frame itself fits, the
// largest size of the frame's aspect that does (each side at least 1). Centred as above.
WindowGeometry frameWindowGeometry(int screenWidth, int screenHeight, float scale, int frameWidth, int frameHeight);

struct FrameSize {
    int width;
    int height;
};

// The largest size of frameWidth x frameHeight's aspect within areaWidth x areaHeight, each
// side rounded down and at least 1.
FrameSize fitAspect(int frameWidth, int frameHeight, int areaWidth, int areaHeight);
