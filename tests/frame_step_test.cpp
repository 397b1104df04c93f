#include "render/frame_step.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "filters/cross/cross_smear.h"
#include "filters/quad/quad_blend.h"
#include "render/frame_host.h"
#include "render/frame_rate.h"
#include "render/traverse.h"

namespace {

bool spaceDown = false;
bool heldSpace() { return spaceDown; }

int filterCalls = 0;
void countingFilter(PixelBuffer, int, int) { ++filterCalls; }

class FrameStep : public ::testing::Test {
protected:
    void SetUp() override {
        resetFrameState();
        spaceDown = false;
        filterCalls = 0;
        bindFrameHost({heldSpace, nullptr, nullptr, nullptr});
    }
    void TearDown() override {
        resetFrameState();
        bindFrameHost({nullptr, nullptr, nullptr, nullptr});
    }
};

std::vector<uint32_t> renderFrames(int width, int height, int frames, TrailFilter filter) {
    bindFrameHost({heldSpace, nullptr, nullptr, filter});
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
    for (int i = 0; i < frames; ++i) renderFrame(pixels.data(), width, height);
    return pixels;
}

TEST_F(FrameStep, SingleAxisPhaseFollowsTheClock) {
    struct {
        float t;
        int32_t singleAxis;
    } cases[] = {{21.999998f, 0}, {22.0f, 1}, {29.999998f, 1}, {30.0f, 0},
                 {51.99999f, 0},  {52.0f, 1}, {59.99999f, 1},  {60.0f, 0}, {524288.0f, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(framePose(c.t, 240, 180).singleAxis, c.singleAxis) << "t = " << c.t;
    }
}

TEST_F(FrameStep, FirstSingleAxisFrameIs1321) {
    int first = 0;
    for (int frame = 1; frame <= 1400 && first == 0; ++frame) {
        renderFrame(nullptr, 0, 0);
        if (singleAxisStep) first = frame;
    }
    EXPECT_EQ(first, 1321);
    EXPECT_FLOAT_EQ(animationTime, 22.016111f);
}

TEST_F(FrameStep, ClockStepRoundsAtLargeValues) {
    // The clock is accumulated in single precision, so its step is 0.016666 rounded at its
    // current magnitude; recomputing it from a frame count would give different values.
    struct {
        float start;
        float step;
    } cases[] = {{16384.0f, 0.017578125f}, {32768.0f, 0.015625f}, {262144.0f, 0.03125f},
                 {524288.0f, 0.0f}};
    for (const auto& c : cases) {
        animationTime = c.start;
        renderFrame(nullptr, 0, 0);
        EXPECT_EQ(animationTime - c.start, c.step) << "from " << c.start;
    }
}

TEST_F(FrameStep, CameraStartsInTheMirroredHalf) {
    renderFrame(nullptr, 0, 0);
    EXPECT_NEAR(framePose(animationTime, 240, 180).view.camera[1], -0.0928451f, 1e-7f);
    for (int frame = 2; frame < 15; ++frame) {
        renderFrame(nullptr, 0, 0);
        EXPECT_LT(framePose(animationTime, 240, 180).view.camera[1], 0.0f) << "frame " << frame;
    }
    renderFrame(nullptr, 0, 0);
    EXPECT_GT(framePose(animationTime, 240, 180).view.camera[1], 0.0f);
}

TEST_F(FrameStep, HeightZeroIsStillCounted) {
    bindFrameHost({heldSpace, nullptr, nullptr, countingFilter});
    renderFrame(nullptr, 240, 0);
    renderFrame(nullptr, 240, 0);
    EXPECT_EQ(framesSinceReport, 2u);
    EXPECT_EQ(filterCalls, 2);
}

TEST_F(FrameStep, SpaceHeldOverwritesAndSkipsTheFilter) {
    const std::vector<uint32_t> raw = [] {
        resetFrameState();
        spaceDown = true;
        return renderFrames(24, 18, 1, nullptr);
    }();
    resetFrameState();
    spaceDown = true;
    bindFrameHost({heldSpace, nullptr, nullptr, countingFilter});
    std::vector<uint32_t> pixels(24 * 18, 0xDEADBEEFu);
    renderFrame(pixels.data(), 24, 18);
    EXPECT_EQ(pixels, raw);
    EXPECT_EQ(filterCalls, 0);

    spaceDown = false;
    renderFrame(pixels.data(), 24, 18);
    EXPECT_EQ(filterCalls, 1) << "releasing Space resumes blend and filter";
    EXPECT_NE(pixels, raw);
}

TEST_F(FrameStep, ResultDoesNotDependOnThreadCount) {
    const int maxThreads = omp_get_max_threads();
    std::vector<std::vector<uint32_t>> results;
    for (int threads : {1, 2, 3}) {
        omp_set_num_threads(threads);
        resetFrameState();
        std::vector<uint32_t> frames = renderFrames(61, 23, 3, crossSmearFilter);
        animationTime = 22.0f;  // into the single-axis phase, where rays leap far
        std::vector<uint32_t> pixels = renderFrames(61, 23, 2, quadBlendFilter);
        frames.insert(frames.end(), pixels.begin(), pixels.end());
        results.push_back(frames);
    }
    omp_set_num_threads(maxThreads);
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
}

// FNV-1a over the pixel words: a fingerprint of a whole frame.
uint64_t fingerprint(const std::vector<uint32_t>& pixels) {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t p : pixels) {
        for (int i = 0; i < 4; ++i) {
            h ^= (p >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    }
    return h;
}

void writePpm(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (uint32_t p : pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
}

// Whole frames pinned to the values the arithmetic gives, so any change to any path shows.
// On a mismatch the frame is written to the test output folder to look at.
TEST_F(FrameStep, GoldenFrames) {
    struct Golden {
        const char* name;
        float startClock;  // animationTime before the first frame
        int frames;
        TrailFilter filter;
        bool raw;
        uint64_t hash;
    } cases[] = {
        {"cross-frames-1-to-3", 0.0f, 3, crossSmearFilter, false, 0x4dbf91a0d3f2af84ull},
        {"quad-frames-1-to-3", 0.0f, 3, quadBlendFilter, false, 0x9821db169586d384ull},
        {"raw-mid-flight", 599 * CLOCK_STEP, 1, nullptr, true, 0xd578417b1fafb1a2ull},
        {"raw-single-axis", 22.0f, 1, nullptr, true, 0xb2d468e3168fedcdull},
    };
    for (const Golden& c : cases) {
        resetFrameState();
        animationTime = c.startClock;
        spaceDown = c.raw;
        const std::vector<uint32_t> pixels = renderFrames(240, 180, c.frames, c.filter);
        const uint64_t got = fingerprint(pixels);
        EXPECT_EQ(got, c.hash) << c.name << ": got 0x" << std::hex << got;
        if (got != c.hash) {
            const std::string path = std::string(SPONGE_TEST_OUTPUT_DIR) + "/" + c.name + ".ppm";
            writePpm(path, pixels, 240, 180);
            ADD_FAILURE() << "actual frame written to " << path;
        }
    }
}

}  // namespace
