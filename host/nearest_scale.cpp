#include "host/nearest_scale.h"

#include <algorithm>
#include <cstring>

#include "host/window_geometry.h"

namespace {

// floor((d + 0.5) * src / dst), in whole numbers: floor((2d + 1) src / 2 dst).
std::vector<int> centres(int src, int dst) {
    std::vector<int> map(static_cast<size_t>(dst > 0 ? dst : 0));
    for (int d = 0; d < dst; ++d) {
        map[static_cast<size_t>(d)] =
            static_cast<int>((2 * static_cast<int64_t>(d) + 1) * src / (2 * static_cast<int64_t>(dst)));
    }
    return map;
}

NearestScale placed(int srcWidth, int srcHeight, int areaWidth, int areaHeight, int x, int y, int width,
                    int height) {
    return {srcWidth, srcHeight, areaWidth,      areaHeight,      x, y,
            width,    height,    centres(srcWidth, width), centres(srcHeight, height)};
}

}  // namespace

NearestScale nearestScale(int srcWidth, int srcHeight, int areaWidth, int areaHeight) {
    return placed(srcWidth, srcHeight, areaWidth, areaHeight, 0, 0, areaWidth, areaHeight);
}

NearestScale nearestScaleKeepingAspect(int srcWidth, int srcHeight, int areaWidth, int areaHeight) {
    const FrameSize fit = fitAspect(srcWidth, srcHeight, areaWidth, areaHeight);
    return placed(srcWidth, srcHeight, areaWidth, areaHeight, (areaWidth - fit.width) / 2,
                  (areaHeight - fit.height) / 2, fit.width, fit.height);
}

void scaleFrame(const NearestScale& scale, const uint32_t* src, uint32_t* dst, int dstPitch) {
    const size_t areaBytes = static_cast<size_t>(scale.areaWidth) * sizeof(uint32_t);
    const int right = scale.x + scale.width;
    for (int y = 0; y < scale.areaHeight; ++y) {
        uint32_t* const out = dst + static_cast<int64_t>(y) * dstPitch;
        const int frameRow = y - scale.y;
        if (frameRow < 0 || frameRow >= scale.height) {
            std::memset(out, 0, areaBytes);
            continue;
        }
        const int sy = scale.row[static_cast<size_t>(frameRow)];
        if (frameRow > 0 && scale.row[static_cast<size_t>(frameRow - 1)] == sy) {
            std::memcpy(out, out - dstPitch, areaBytes);
            continue;
        }
        const uint32_t* const in = src + static_cast<int64_t>(sy) * scale.srcWidth;
        std::fill(out, out + scale.x, 0u);
        for (int x = 0; x < scale.width; ++x) out[scale.x + x] = in[scale.column[static_cast<size_t>(x)]];
        std::fill(out + right, out + scale.areaWidth, 0u);
    }
}
