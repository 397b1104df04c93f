// Holding Space shows raw frames: neither blended with what the buffer held nor filtered.
// Driven through the renderer's key query, which a window host answers from its keyboard
// state, so no window or timing is involved.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "render/frame_host.h"
#include "render/frame_step.h"

namespace {

constexpr int WIDTH = 240;
constexpr int HEIGHT = 180;

// What the scripted host answers and what it saw.
struct ScriptedHost {
    std::vector<bool> pattern;  // Space held or not, per frame
    size_t spaceQueries = 0;
    int filterRuns = 0;
    const TrailFilterVariants* filter = nullptr;
};

ScriptedHost* current = nullptr;  // for the counting filter, which gets no context

bool scriptedSpace(void* context) {
    ScriptedHost* s = static_cast<ScriptedHost*>(context);
    const bool held = s->spaceQueries < s->pattern.size() && s->pattern[s->spaceQueries];
    ++s->spaceQueries;
    return held;
}

void countingFilter(PixelBuffer pixels, int width, int height, std::vector<uint64_t>& scratch) {
    ++current->filterRuns;
    current->filter->fast(pixels, width, height, scratch);
}
void countingPlainFilter(PixelBuffer, int, int) { FAIL() << "the fast path runs the fast variant"; }
const TrailFilterVariants COUNTING = {countingPlainFilter, countingFilter};

// Renders one frame per entry of pattern from the first frame of the animation, into a
// buffer that starts with fill in every word.
std::vector<uint32_t> renderSequence(ScriptedHost& script, uint32_t fill) {
    resetFrameState();
    current = &script;
    FrameWorkspace workspace;
    PlatformAnswers platform;
    platform.context = &script;
    platform.spaceHeld = scriptedSpace;
    const RenderSetup setup = renderSetup(&COUNTING, RenderPath::Fast, &workspace);
    std::vector<uint32_t> pixels(WIDTH * HEIGHT, fill);
    for (size_t i = 0; i < script.pattern.size(); ++i) renderFrameWith(platform, setup, pixels.data(), WIDTH, HEIGHT);
    current = nullptr;
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

TEST(SpaceKey, HeldFramesAreRaw) {
    for (const TrailFilterVariants* filter : {&trailFilterNamed("cross"), &trailFilterNamed("quad")}) {
        for (const SpaceCase& c : spaceCases) {
            SCOPED_TRACE(std::string(filter == &trailFilterNamed("cross") ? "cross: " : "quad: ") + c.why);
            ScriptedHost a{c.pattern, 0, 0, filter};
            const std::vector<uint32_t> first = renderSequence(a, 0);
            EXPECT_EQ(a.spaceQueries, c.pattern.size()) << "Space is sampled once per frame";
            EXPECT_EQ(a.filterRuns, unheldFrames(c.pattern)) << "the trail filter runs on blended frames only";
            ScriptedHost b{c.other, 0, 0, filter};
            const std::vector<uint32_t> second = renderSequence(b, GARBAGE);
            EXPECT_EQ(b.filterRuns, unheldFrames(c.other));
            EXPECT_EQ(first == second, c.same);
        }
    }
}

// The last frame of a held run must be exactly what the frame draws when nothing came before:
// every word replaced, top byte cleared.
TEST(SpaceKey, HeldFrameClearsTheTopByte) {
    ScriptedHost script{{true}, 0, 0, &trailFilterNamed("cross")};
    const std::vector<uint32_t> pixels = renderSequence(script, GARBAGE);
    for (uint32_t p : pixels) ASSERT_EQ(p >> 24, 0u);
}

}  // namespace
