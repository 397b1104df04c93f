#include "host/window_geometry.h"

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
