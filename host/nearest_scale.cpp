#include "host/nearest_scale.h"

#include <cstring>

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

}  // namespace

NearestScale nearestScale(int srcWidth, int srcHeight, int dstWidth, int dstHeight) {
    return {srcWidth, srcHeight, dstWidth, dstHeight, centres(srcWidth, dstWidth), centres(srcHeight, dstHeight)};
}

void scaleFrame(const NearestScale& scale, const uint32_t* src, uint32_t* dst, int dstPitch) {
    const size_t rowBytes = static_cast<size_t>(scale.dstWidth) * sizeof(uint32_t);
    for (int y = 0; y < scale.dstHeight; ++y) {
        uint32_t* const out = dst + static_cast<int64_t>(y) * dstPitch;
        const int sy = scale.row[static_cast<size_t>(y)];
        if (y > 0 && scale.row[static_cast<size_t>(y - 1)] == sy) {
            std::memcpy(out, out - dstPitch, rowBytes);
            continue;
        }
        const uint32_t* const in = src + static_cast<int64_t>(sy) * scale.srcWidth;
        for (int x = 0; x < scale.dstWidth; ++x) out[x] = in[scale.column[static_cast<size_t>(x)]];
    }
}
