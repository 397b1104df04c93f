#include "host/window_geometry.h"

#include <algorithm>
#include <cstdint>

namespace {

int scaledSide(int screenSide, float scale) {
    // double holds the product of a 32-bit integer and a float exactly enough to truncate it.
    return static_cast<int>(static_cast<double>(screenSide) * static_cast<double>(scale));
}

int centredCorner(int screenSide, int windowSide) {
    const uint32_t spare = static_cast<uint32_t>(screenSide) - static_cast<uint32_t>(windowSide);
    return static_cast<int>(spare >> 1);
}

}  // namespace

WindowGeometry windowGeometry(int screenWidth, int screenHeight, float scale) {
    WindowGeometry g;
    g.width = scaledSide(screenWidth, scale);
    g.height = scaledSide(screenHeight, scale);
    g.x = centredCorner(screenWidth, g.width);
    g.y = centredCorner(screenHeight, g.height);
    return g;
}

WindowGeometry frameWindowGeometry(int screenWidth, int screenHeight, float scale, int frameWidth, int frameHeight) {
    const WindowGeometry area = windowGeometry(screenWidth, screenHeight, scale);
    const int64_t w = frameWidth, h = frameHeight;
    const int64_t times = std::min(area.width / w, area.height / h);
    WindowGeometry g;
    if (times >= 1) {
        g.width = static_cast<int>(times * w);
        g.height = static_cast<int>(times * h);
    } else if (area.width * h <= area.height * w) {  // the width decides
        g.width = area.width;
        g.height = static_cast<int>(std::max<int64_t>(1, area.width * h / w));
    } else {
        g.width = static_cast<int>(std::max<int64_t>(1, area.height * w / h));
        g.height = area.height;
    }
    g.width = std::max(g.width, 1);
    g.height = std::max(g.height, 1);
    g.x = centredCorner(screenWidth, g.width);
    g.y = centredCorner(screenHeight, g.height);
    return g;
}
