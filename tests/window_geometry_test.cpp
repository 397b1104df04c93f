// Client size and position of the window, from the screen size.
#include "host/window_geometry.h"

#include <gtest/gtest.h>

namespace {

struct GeometryCase {
    const char* why;
    int screenWidth, screenHeight;
    float scale;
    WindowGeometry expected;  // width, height, x, y
};

const GeometryCase geometryCases[] = {
    {"full HD: 6.4 x 4.8 screen pixels per render pixel", 1920, 1080, 0.8f, {1536, 864, 192, 108}},
    {"1092.8 and 613.6 truncate; odd spare pixels halve down", 1366, 767, 0.8f, {1092, 613, 137, 77}},
    {"0.8f is a little above 0.8: 819.2000122 still truncates to 819", 1280, 1024, 0.8f, {1024, 819, 128, 102}},
    {"exact products stay exact", 800, 600, 0.8f, {640, 480, 80, 60}},
    {"a one-pixel screen gives an empty client area", 1, 1, 0.8f, {0, 0, 0, 0}},
    {"scale 1 fills the screen", 1366, 767, 1.0f, {1366, 767, 0, 0}},
    // In float, 16000001 * 0.8f rounds up to 12800001; the exact product is 12800000.2.
    {"the product is formed exactly, not in float", 16000001, 16000001, 0.8f, {12800000, 12800000, 1600000, 1600000}},
    // 100 - 150 wraps to 4294967246 as unsigned 32-bit; halved, 2147483623.
    {"a client larger than the screen wraps the unsigned halving", 100, 100, 1.5f, {150, 150, 2147483623, 2147483623}},
};

TEST(WindowGeometry, ClientSizeAndCorner) {
    for (const GeometryCase& c : geometryCases) {
        SCOPED_TRACE(c.why);
        const WindowGeometry g = windowGeometry(c.screenWidth, c.screenHeight, c.scale);
        EXPECT_EQ(g.width, c.expected.width);
        EXPECT_EQ(g.height, c.expected.height);
        EXPECT_EQ(g.x, c.expected.x);
        EXPECT_EQ(g.y, c.expected.y);
    }
}

struct FrameWindowCase {
    const char* why;
    int screenWidth, screenHeight, frameWidth, frameHeight;
    WindowGeometry expected;
};

const FrameWindowCase frameWindowCases[] = {
    // 80 % of 1920 x 1080 is 1536 x 864: six times 240 is too wide for the height.
    {"the largest whole multiple: 4 x 240 x 180", 1920, 1080, 240, 180, {960, 720, 480, 180}},
    {"1366 x 767 leaves 1092 x 613: 3 x", 1366, 767, 240, 180, {720, 540, 323, 113}},
    {"exactly once", 1920, 1080, 1536, 864, {1536, 864, 192, 108}},
    {"too large: reduced to the frame's aspect, the width deciding", 1920, 1080, 1920, 1080, {1536, 864, 192, 108}},
    {"too large: the height deciding", 1920, 1080, 1000, 2000, {432, 864, 744, 108}},
    {"a side never below 1", 1920, 1080, 16384, 1, {1536, 1, 192, 539}},
};

TEST(WindowGeometry, FrameWindows) {
    for (const FrameWindowCase& c : frameWindowCases) {
        SCOPED_TRACE(c.why);
        const WindowGeometry g = frameWindowGeometry(c.screenWidth, c.screenHeight, 0.8f, c.frameWidth, c.frameHeight);
        EXPECT_EQ(g.width, c.expected.width);
        EXPECT_EQ(g.height, c.expected.height);
        EXPECT_EQ(g.x, c.expected.x);
        EXPECT_EQ(g.y, c.expected.y);
    }
}

}  // namespace
