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

FrameSize fitAspect(int frameWidth, int frameHeight, int areaWidth, int areaHeight) {
    const int64_t w = frameWidth, h = frameHeight, aw = areaWidth, ah = areaHeight;
    FrameSize fit;
    if (aw * h <= ah * w) {  // the width decides
        fit.width = areaWidth;
        fit.height = static_cast<int>(aw * h / w);
    } else {
        fit.width = static_cast<int>(ah * w / h);
        fit.height = areaHeight;
    }
    fit.width = std::max(fit.width, 1);
    fit.height = std::max(fit.height, 1);
    return fit;
}

WindowGeometry frameWindowGeometry(int screenWidth, int screenHeight, float scale, int frameWidth, int frameHeight) {
    const WindowGeometry area = windowGeometry(screenWidth, screenHeight, scale);
    const int times = std::min(area.width / frameWidth, area.height / frameHeight);
    const FrameSize size = times >= 1 ? FrameSize{times * frameWidth, times * frameHeight}
                                      : fitAspect(frameWidth, frameHeight, area.width, area.height);
    WindowGeometry g;
    g.width = size.width;
    g.height = size.height;
    g.x = centredCorner(screenWidth, g.width);
    g.y = centredCorner(screenHeight, g.height);
    return g;
}
