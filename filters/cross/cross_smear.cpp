#include "filters/cross/cross_smear.h"

#include <cstdint>

#include "render/byte_average.h"

void crossSmearFilter(PixelBuffer pixels, int width, int height) {
    if (height < 3) return;
    for (int y = 1; y <= height - 2; ++y) {
        uint32_t* const above = pixels + static_cast<int64_t>(y - 1) * width;
        uint32_t* const row = above + width;
        const uint32_t* const below = row + width;
        for (int x = 1; x <= width - 2; ++x) {
            uint32_t s = averageBytes(row[x], row[x + 1]);
            s = averageBytes(row[x - 1], s);
            s = averageBytes(below[x], s);
            s = averageBytes(above[x], s);
            row[x] = s;
        }
    }
}
