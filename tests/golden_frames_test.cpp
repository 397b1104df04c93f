// Whole frames pinned as PNG files in tests/golden, so that any change to any pixel on any
// path shows, and what changed can be looked at. A mismatch writes the actual frame and a
// difference image beside the test's output; an intended change is accepted by running
// the test again with SPONGE_UPDATE_GOLDEN=1, which rewrites the files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "render/frame_step.h"
#include "tests/frame_support.h"
#include "tests/test_support.h"

namespace {

struct GoldenCase {
    const char* label;  // also the file's name
    FrameRun run;
};

class GoldenFrameTest : public testing::TestWithParam<GoldenCase> {};

bool updating() {
    const char* update = std::getenv("SPONGE_UPDATE_GOLDEN");
    return update != nullptr && update[0] != '\0' && std::string(update) != "0";
}

// Differing pixels in white over a darkened copy of the expected frame.
RgbImage differenceImage(const RgbImage& expected, const RgbImage& actual) {
    RgbImage diff = expected;
    for (size_t i = 0; i + 2 < diff.rgb.size(); i += 3) {
        const bool same = expected.rgb.compare(i, 3, actual.rgb, i, 3) == 0;
        for (size_t k = 0; k < 3; ++k) {
            diff.rgb[i + k] = same ? static_cast<char>(static_cast<unsigned char>(expected.rgb[i + k]) / 4)
                                   : static_cast<char>(255);
        }
    }
    return diff;
}

TEST_P(GoldenFrameTest, FrameIsThePinnedImage) {
    const GoldenCase& c = GetParam();
    const std::vector<uint32_t> pixels = renderLast(c.run);
    for (size_t i = 0; i < pixels.size(); ++i) {
        ASSERT_EQ(pixels[i] >> 24, 0u) << "bits 24-31 of pixel " << i << " (an image holds colour bytes only)";
    }
    const RgbImage actual = rgbOf(pixels.data(), c.run.width, c.run.height);
    const std::string golden = std::string(SPONGE_GOLDEN_DIR) + "/" + c.label + ".png";
    if (updating()) {
        ASSERT_TRUE(writePng(golden, actual)) << golden;
        std::printf("rewrote %s\n", golden.c_str());
        return;
    }
    RgbImage expected;
    const bool read = readImage(golden, &expected);
    if (read && expected.width == actual.width && expected.height == actual.height && expected.rgb == actual.rgb) {
        return;
    }
    const std::string out = std::string(SPONGE_TEST_OUTPUT_DIR) + "/" + c.label;
    writePng(out + ".actual.png", actual);
    std::string what = "cannot read " + golden;
    if (read && expected.width == actual.width && expected.height == actual.height) {
        writePng(out + ".difference.png", differenceImage(expected, actual));
        size_t differing = 0, first = 0;
        for (size_t i = 0; i < actual.rgb.size(); i += 3) {
            if (expected.rgb.compare(i, 3, actual.rgb, i, 3) != 0 && differing++ == 0) first = i / 3;
        }
        what = std::to_string(differing) + " pixels differ from " + golden + ", the first at (" +
               std::to_string(first % static_cast<size_t>(actual.width)) + ", " +
               std::to_string(first / static_cast<size_t>(actual.width)) + "); the difference is in " + out +
               ".difference.png";
    } else if (read) {
        what = golden + " is " + std::to_string(expected.width) + "x" + std::to_string(expected.height);
    }
    ADD_FAILURE() << what << "\nthe actual frame is in " << out << ".actual.png"
                  << "\nif the change is intended, accept it with: SPONGE_UPDATE_GOLDEN=1 "
                  << "ctest --test-dir build -R GoldenFrame";
}

INSTANTIATE_TEST_SUITE_P(
    Frames, GoldenFrameTest,
    testing::Values(
        // The first frames, blended and smeared from a black buffer; the camera is still in
        // the mirrored half of the lattice.
        GoldenCase{"cross_frames_1_to_3", {240, 180, &trailFilterNamed("cross"), 0.0f, 3}},
        GoldenCase{"quad_frames_1_to_3", {240, 180, &trailFilterNamed("quad"), 0.0f, 3}},
        // Frame 110 as the programs draw it, every frame before it blended and smeared: the
        // camera's path through the first 110 frames shows in it.
        GoldenCase{"cross_frame_110", {240, 180, &trailFilterNamed("cross"), 0.0f, 110}},
        // One raw frame at about the clock of frame 600.
        GoldenCase{"raw_mid_flight", {240, 180, nullptr, 599 * CLOCK_STEP, 1, allRaw()}},
        // The clock's first frame past 22.0: single-axis steps, rays leaping far.
        GoldenCase{"raw_single_axis", {240, 180, nullptr, 22.0f, 1, allRaw()}}),
    CaseLabel());

}  // namespace
