// The window's own enlargement: every screen pixel is the frame pixel under its centre.
#include "host/nearest_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(NearestScale, EachDestinationPixelTakesTheSourcePixelUnderItsCentre) {
    const int sizes[][2] = {{240, 1536}, {180, 864}, {240, 1092}, {180, 613}, {1920, 1536}, {7, 7}, {1, 5}, {5, 1}};
    for (const auto& s : sizes) {
        const NearestScale scale = nearestScale(s[0], 1, s[1], 1);
        for (int d = 0; d < s[1]; ++d) {
            // Checked in double, away from the exact boundaries the whole-number form decides.
            const double centre = (d + 0.5) * s[0] / s[1];
            const int expected = static_cast<int>(std::floor(centre));
            ASSERT_EQ(scale.column[static_cast<size_t>(d)], expected) << s[0] << " -> " << s[1] << " at " << d;
        }
    }
}

TEST(NearestScale, FrameIntoAPaddedSurface) {
    const int sw = 5, sh = 3, dw = 13, dh = 8, pitch = 16;
    std::vector<uint32_t> src(sw * sh);
    for (size_t i = 0; i < src.size(); ++i) src[i] = 0x00010203u * static_cast<uint32_t>(i + 1);
    std::vector<uint32_t> dst(static_cast<size_t>(pitch) * dh, 0xDEADBEEFu);
    const NearestScale scale = nearestScale(sw, sh, dw, dh);
    scaleFrame(scale, src.data(), dst.data(), pitch);
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < pitch; ++x) {
            const uint32_t got = dst[static_cast<size_t>(y * pitch + x)];
            if (x >= dw) {
                EXPECT_EQ(got, 0xDEADBEEFu) << "past the row, at " << x << ", " << y;
            } else {
                const int sx = (2 * x + 1) * sw / (2 * dw), sy = (2 * y + 1) * sh / (2 * dh);
                EXPECT_EQ(got, src[static_cast<size_t>(sy * sw + sx)]) << x << ", " << y;
            }
        }
    }
}

}  // namespace
