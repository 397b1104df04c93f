#include "render/frame_step.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "render/frame_host.h"
#include "render/frame_rate.h"
#include "render/traverse.h"
#include "tests/frame_support.h"
#include "tests/test_support.h"

namespace {

class FrameStep : public ::testing::Test {
protected:
    void SetUp() override { resetFrameState(); }
    void TearDown() override { resetFrameState(); }

    // Advances the animation by one frame of no pixels.
    void step() { renderFrameWith(platform, setup, nullptr, 0, 0); }

    PlatformAnswers platform;
    RenderSetup setup;
};

TEST_F(FrameStep, SingleAxisPhaseFollowsTheClock) {
    struct {
        float t;
        int32_t singleAxis;
    } cases[] = {{21.999998f, 0}, {22.0f, 1}, {29.999998f, 1}, {30.0f, 0},
                 {51.99999f, 0},  {52.0f, 1}, {59.99999f, 1},  {60.0f, 0}, {524288.0f, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(framePose(c.t).singleAxis, c.singleAxis) << "t = " << c.t;
    }
}

TEST_F(FrameStep, FirstSingleAxisFrameIs1321) {
    int first = 0;
    for (int frame = 1; frame <= 1400 && first == 0; ++frame) {
        step();
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
        step();
        EXPECT_EQ(animationTime - c.start, c.step) << "from " << c.start;
    }
}

TEST_F(FrameStep, CameraStartsInTheMirroredHalf) {
    step();
    EXPECT_NEAR(framePose(animationTime).position[1], -0.0928451f, 1e-7f);
    for (int frame = 2; frame < 15; ++frame) {
        step();
        EXPECT_LT(framePose(animationTime).position[1], 0.0f) << "frame " << frame;
    }
    step();
    EXPECT_GT(framePose(animationTime).position[1], 0.0f);
}

int filterCalls = 0;
void countingFilter(PixelBuffer, int, int) { ++filterCalls; }
void countingFastFilter(PixelBuffer, int, int, std::vector<uint64_t>&) { ++filterCalls; }
const TrailFilterVariants COUNTING_FILTER = {countingFilter, countingFastFilter};

TEST_F(FrameStep, HeightZeroIsStillCountedAndFiltered) {
    for (const RenderPath path : {RenderPath::Plain, RenderPath::Fast}) {
        resetFrameState();
        filterCalls = 0;
        setup.trailFilter = &COUNTING_FILTER;
        setup.path = path;
        renderFrameWith(platform, setup, nullptr, 240, 0);
        renderFrameWith(platform, setup, nullptr, 240, 0);
        EXPECT_EQ(framesSinceReport, 2u);
        EXPECT_EQ(filterCalls, 2);
    }
}

// The path picks the rows' code and the filter's variant together.
TEST_F(FrameStep, EachPathRunsItsOwnFilterVariant) {
    static std::vector<RenderPath> ran;
    static const TrailFilterVariants recording = {
        [](PixelBuffer, int, int) { ran.push_back(RenderPath::Plain); },
        [](PixelBuffer, int, int, std::vector<uint64_t>&) { ran.push_back(RenderPath::Fast); }};
    setup.trailFilter = &recording;
    for (const RenderPath path : {RenderPath::Plain, RenderPath::Fast}) {
        ran.clear();
        setup.path = path;
        std::vector<uint32_t> pixels(8 * 6, 0);
        renderFrameWith(platform, setup, pixels.data(), 8, 6);
        EXPECT_EQ(ran, std::vector<RenderPath>{path});
    }
}

// The bound records are the ones renderFrame, the FrameCallback, uses.
TEST_F(FrameStep, RenderFrameUsesTheBoundHost) {
    RenderSetup bound;
    bound.trailFilter = &COUNTING_FILTER;
    bindFrameHost(PlatformAnswers{}, bound);
    filterCalls = 0;
    renderFrame(nullptr, 4, 0);
    bindFrameHost(PlatformAnswers{}, RenderSetup{});
    EXPECT_EQ(filterCalls, 1);
}

// The plain and the fast path at 1, 2 and 3 threads, each against the plain path on one
// thread. Blended frames show it when the threads do not share a row's columns but each
// shade all of them: the pixels are then blended more than once.
struct ThreadCase {
    const char* label;
    RenderPath path;
    int threads;
};

class ThreadCountTest : public testing::TestWithParam<ThreadCase> {};

std::vector<uint32_t> threeCrossTwoQuadFrames(RenderPath path) {
    std::vector<uint32_t> frames = renderRun({61, 23, &trailFilterNamed("cross"), 0.0f, 3, {}, path});
    // Into the single-axis phase, where rays leap far.
    const std::vector<uint32_t> more = renderRun({61, 23, &trailFilterNamed("quad"), 22.0f, 2, {}, path});
    frames.insert(frames.end(), more.begin(), more.end());
    return frames;
}

TEST_P(ThreadCountTest, FramesAreThoseOfThePlainPathOnOneThread) {
    const std::vector<uint32_t> reference = [] {
        ThreadCount one(1);
        return threeCrossTwoQuadFrames(RenderPath::Plain);
    }();
    ThreadCount threads(GetParam().threads);
    EXPECT_TRUE(threeCrossTwoQuadFrames(GetParam().path) == reference);
}

INSTANTIATE_TEST_SUITE_P(PathsAndThreads, ThreadCountTest,
                         testing::Values(ThreadCase{"Plain1", RenderPath::Plain, 1},
                                         ThreadCase{"Plain2", RenderPath::Plain, 2},
                                         ThreadCase{"Plain3", RenderPath::Plain, 3},
                                         ThreadCase{"Fast1", RenderPath::Fast, 1},
                                         ThreadCase{"Fast2", RenderPath::Fast, 2},
                                         ThreadCase{"Fast3", RenderPath::Fast, 3}),
                         CaseLabel());

}  // namespace
