#include "render/shade_row.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "render/correct_trig.h"
#include "render/float_bits.h"

namespace {

TEST(PackColour, ChannelsAndNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float r, g, b;
        uint32_t packed;
    } cases[] = {
        {1.0f, 1.0f, 1.0f, 0x00FFFFFFu},
        {0.0f, 0.0f, 0.0f, 0x00000000u},
        {-0.0f, 0.5f, 0.99999994f, 0x00007FFEu},  // 127.5 -> 127, 254.99998 -> 254
        {nan, 1.0f, 1.0f, 0x0000FFFFu},
        {1.0f, nan, 1.0f, 0x00FF00FFu},
        {1.0f, 1.0f, nan, 0x00FFFF00u},  // a NaN blue must not leak into bits 24-31
        {nan, nan, nan, 0x00000000u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(packColour(c.r, c.g, c.b), c.packed) << c.r << " " << c.g << " " << c.b;
    }
}

// Where SIMD code has no doubles, a channel's byte comes from the single-precision product:
// for every float a clamped channel can be, it truncates to the exact product's byte.
TEST(PackColour, FloatProductTruncatesLikeTheExactOneOnAllOfZeroToOne) {
    const float one = 1.0f;
    uint32_t last;
    std::memcpy(&last, &one, sizeof last);
    uint32_t differ = 0;
    for (uint32_t bits = 0; bits <= last; ++bits) {
        float c;
        std::memcpy(&c, &bits, sizeof c);
        differ += static_cast<int32_t>(c * 255.0f) != static_cast<int32_t>(static_cast<double>(c) * 255.0);
    }
    EXPECT_EQ(differ, 0u);
}

TEST(BlendPixel, WeightsAndTopByte) {
    EXPECT_EQ(blendPixel(0xFF000000u, 0x00FFFFFFu), 0xFF192D4Bu);
    EXPECT_EQ(blendPixel(0x00FFFFFFu, 0x00FFFFFFu), 0x00FFFFFFu);
    EXPECT_EQ(blendPixel(0x12345678u, 0x00345678u), 0x12345678u);
}

TEST(BlendPixel, ConstantWhiteSettlesShortOfIt) {
    uint32_t pixel = 0;
    pixel = blendPixel(pixel, 0x00FFFFFFu);
    EXPECT_EQ((pixel >> 16) & 0xFF, 25u);
    for (int frame = 2; frame <= 36; ++frame) pixel = blendPixel(pixel, 0x00FFFFFFu);
    EXPECT_EQ((pixel >> 16) & 0xFF, 246u);
    for (int frame = 0; frame < 200; ++frame) pixel = blendPixel(pixel, 0x00FFFFFFu);
    EXPECT_EQ(pixel, 0x00F6FAFCu);  // red 246, green 250, blue 252
}

// Looking straight down axis 2 from the centre of a cell, with v = 0 the ray's component
// along axis 2 of the world... is exactly +0, which sends the traversal to NaN.
FrameView straightView() {
    FrameView view{};
    view.aspect = 4.0f / 3.0f;
    view.cos1 = view.cos2 = 1.0f;
    view.sin1 = view.sin2 = 0.0f;
    view.camera[0] = view.camera[1] = view.camera[2] = 0.5f;
    return view;
}

// The eye ray turned by one view angle a, as the fixed path has always turned it: both plane
// rotations by the same angle.
void oneAngleRotation(float u, float v, float a, float dir[3]) {
    const float cosA = correctCos(a), sinA = correctSin(a);
    const float inv = 1.0f / std::sqrt((u * u + v * v) + 1.0f);
    const float w0 = u * inv, w1 = inv * v, w2 = inv;
    const float A = w2 * cosA - w0 * sinA;
    const float B = w2 * sinA + w0 * cosA;
    const float C = w1 * cosA - A * sinA;
    const float D = A * cosA + w1 * sinA;
    dir[0] = D;
    dir[1] = B;
    dir[2] = C;
}

TEST(EyeRay, TwoEqualAnglesTurnTheRayAsOneAngleDid) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.7f), angle(-60.0f, 60.0f);
    for (int i = 0; i < 20000; ++i) {
        const float u = coordinate(rng), v = coordinate(rng), a = i < 10 ? 0.1f * static_cast<float>(i) : angle(rng);
        const CameraPose pose{{0.5f, 0.5f, 0.5f}, {a, a}, 0};
        float two[3], one[3];
        eyeRayDirection(u, v, frameView(pose, 240, 180), two);
        oneAngleRotation(u, v, a, one);
        for (int k = 0; k < 3; ++k) ASSERT_EQ(bitsOf(two[k]), bitsOf(one[k])) << "u " << u << " v " << v << " a " << a;
    }
}

// Each angle turns its own plane: the first mixes the ray's components 2 and 0, the second
// component 1 with the first's result. Pinned, so that swapping the angles shows.
TEST(EyeRay, TwoAnglesApartArePinned) {
    struct {
        float u, v, a1, a2;
        uint32_t bits[3];
    } cases[] = {
        {0.25f, -0.5f, 0.3f, -1.1f, {0x3f3cea58u, 0x3eeecef4u, 0x3ef9b776u}},
        {-1.0f, 0.75f, 2.5f, 0.2f, {0xbcfdfac0u, 0x3f5fd44au, 0x3ef7fac8u}},
        // Straight ahead, turned by the first angle alone: (cos 1, sin 1, 0).
        {0.0f, 0.0f, 1.0f, 0.0f, {0x3f0a5140u, 0x3f576aa4u, 0u}},
    };
    for (const auto& c : cases) {
        const CameraPose pose{{0.0f, 0.0f, 0.0f}, {c.a1, c.a2}, 0};
        float dir[3];
        eyeRayDirection(c.u, c.v, frameView(pose, 4, 3), dir);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(bitsOf(dir[k]), c.bits[k]) << "a1 " << c.a1 << " a2 " << c.a2 << " component " << k << ": "
                                                 << std::hex << bitsOf(dir[k]);
        }
    }
}

TEST(ShadePixel, ZeroDirectionComponentGivesBlack) {
    // With no rotation the world direction is (w2, w0, w1); v = 0 makes w1, and so d2, +0.
    EXPECT_EQ(shadePixel(17, 0.0f, 240, straightView()), 0u);
}

TEST(ShadeRowColumns, OverwritesOrBlends) {
    const FrameView view = straightView();
    const int width = 5;
    uint32_t expected[width];
    for (int c = 0; c < width; ++c) expected[c] = shadePixel(c, -0.5f, width, view);

    uint32_t pixels[2 * width];
    for (uint32_t& p : pixels) p = 0xAB123456u;
    shadeRowColumns(1, 0, -0.5f, view, pixels, width);
    for (int c = 0; c < width; ++c) {
        EXPECT_EQ(pixels[c], 0xAB123456u) << "row 0 must stay untouched";
        EXPECT_EQ(pixels[width + c], expected[c]) << "column " << c;
    }

    for (int c = 0; c < width; ++c) pixels[width + c] = 0xFF000000u;
    shadeRowColumns(1, 1, -0.5f, view, pixels, width);
    for (int c = 0; c < width; ++c) {
        EXPECT_EQ(pixels[width + c], blendPixel(0xFF000000u, expected[c])) << "column " << c;
    }
}

TEST(ShadeRowColumns, WidthBelowOneShadesNothing) {
    uint32_t pixel = 0x5A5A5A5Au;
    shadeRowColumns(0, 0, 0.0f, straightView(), &pixel, 0);
    shadeRowColumns(0, 0, 0.0f, straightView(), &pixel, -3);
    EXPECT_EQ(pixel, 0x5A5A5A5Au);
}

}  // namespace
