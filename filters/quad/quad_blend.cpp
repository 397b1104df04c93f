#include "filters/quad/quad_blend.h"

#include <cstdint>

#include "render/byte_average.h"

void quadBlendFilter(PixelBuffer pixels, int width, int height) {
    if (height < 2) return;
    for (int y = 0; y <= height - 2; ++y) {
        uint32_t* const row = pixels + static_cast<int64_t>(y) * width;
        const uint32_t* const below = row + width;
        for (int x = 0; x <= width - 2; ++x) {
            uint32_t s = averageBytes(row[x], row[x + 1]);
            s = averageBytes(below[x], s);
            s = averageBytes(below[x + 1], s);
            row[x] = s;
        }
    }
}
