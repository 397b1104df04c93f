// Holding Space shows raw frames: neither blended with what the buffer held nor filtered.
// Driven through the renderer's key query, which the window host answers from SDL's
// keyboard state, so no window or timing is involved.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filters/cross/cross_smear.h"
#include "filters/quad/quad_blend.h"
#include "render/frame_host.h"
#include "render/frame_step.h"

namespace {

constexpr int WIDTH = 240;
constexpr int HEIGHT = 180;

// What the stubbed host sees and answers.
std::vector<bool> spacePattern;  // held or not, per frame
size_t spaceQueries = 0;
int filterRuns = 0;
TrailFilter boundFilter = nullptr;

bool scriptedSpace() {
    const bool held = spaceQueries < spacePattern.size() && spacePattern[spaceQueries];
    ++spaceQueries;
    return held;
}

void countingFilter(PixelBuffer pixels, int width, int height) {
    ++filterRuns;
    boundFilter(pixels, width, height);
}

// Renders one frame per entry of pattern from the first frame of the animation, into a
// buffer that starts with fill in every word.
std::vector<uint32_t> renderSequence(const std::vector<bool>& pattern, uint32_t fill) {
    resetFrameState();
    spacePattern = pattern;
    spaceQueries = 0;
    filterRuns = 0;
    bindFrameHost({scriptedSpace, nullptr, nullptr, countingFilter});
    std::vector<uint32_t> pixels(WIDTH * HEIGHT, fill);
    for (size_t i = 0; i < pattern.size(); ++i) renderFrame(pixels.data(), WIDTH, HEIGHT);
    bindFrameHost({nullptr, nullptr, nullptr, nullptr});
    return pixels;
}

int unheldFrames(const std::vector<bool>& pattern) {
    int n = 0;
    for (bool held : pattern) n += held ? 0 : 1;
    return n;
}

// A buffer no frame of the animation could leave behind, top byte included: a frame that
// blends with it keeps its top byte, a raw frame clears it.
constexpr uint32_t GARBAGE = 0xA55A3CC3u;

struct SpaceCase {
    const char* why;
    std::vector<bool> pattern;  // from a zero-filled buffer
    std::vector<bool> other;    // from a garbage-filled buffer
    bool same;                  // must the two give the same last frame?
};

const SpaceCase spaceCases[] = {
    {"a held frame ignores what the buffer held", {false, false, false, true}, {true, true, true, true}, true},
    {"a held frame is not the blended frame", {false, false, false, true}, {false, false, false, false}, false},
    {"releasing Space blends onto the last raw frame", {false, true, false}, {true, true, false}, true},
    {"after release the frame is blended, not raw", {false, true, false}, {false, true, true}, false},
};

struct FilterCase {
    const char* name;
    TrailFilter filter;
};

const FilterCase filterCases[] = {{"cross", crossSmearFilter}, {"quad", quadBlendFilter}};

TEST(SpaceKey, HeldFramesAreRaw) {
    for (const FilterCase& f : filterCases) {
        boundFilter = f.filter;
        for (const SpaceCase& c : spaceCases) {
            SCOPED_TRACE(std::string(f.name) + ": " + c.why);
            const std::vector<uint32_t> a = renderSequence(c.pattern, 0);
            EXPECT_EQ(spaceQueries, c.pattern.size()) << "Space is sampled once per frame";
            EXPECT_EQ(filterRuns, unheldFrames(c.pattern)) << "the trail filter runs on blended frames only";
            const std::vector<uint32_t> b = renderSequence(c.other, GARBAGE);
            EXPECT_EQ(filterRuns, unheldFrames(c.other));
            if (c.same) {
                EXPECT_TRUE(a == b);
            } else {
                EXPECT_FALSE(a == b);
            }
        }
    }
}

// The last frame of a held run must be exactly what the frame draws when nothing came before:
// every word replaced, top byte cleared.
TEST(SpaceKey, HeldFrameClearsTheTopByte) {
    boundFilter = crossSmearFilter;
    const std::vector<uint32_t> pixels = renderSequence({true}, GARBAGE);
    for (uint32_t p : pixels) ASSERT_EQ(p >> 24, 0u);
}

}  // namespace
