#include "render/traverse.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct SingleAxisGuard {
    explicit SingleAxisGuard(int32_t value) { singleAxisStep = value; }
    ~SingleAxisGuard() { singleAxisStep = 0; }
};

struct TraversalCase {
    const char* name;
    int32_t singleAxis;
    float p[3];
    float d[3];
    float distance;
    float exitParam;
};

// Expected values are the single-precision results, given to seven significant digits.
const TraversalCase CASES[] = {
    {"two empty cells then matter", 0, {0.5f, 0.5f, 0.5f}, {0.48f, 0.6f, 0.64f}, 0.2787778f, 0.04908343f},
    {"single-axis exits", 1, {0.5f, 0.5f, 0.5f}, {0.48f, 0.6f, 0.64f}, 0.4282404f, 1.354282f},
    // The lattice corner is solid at every level: six descents, then the seventh test stops.
    {"solid at every level", 0, {0.0f, 0.0f, 0.0f}, {0.6f, 0.0f, 0.8f}, 0.0f, 0.0f},
    {"solid at every level, single-axis", 1, {2.0f, -3.0f, 0.0f}, {0.6f, 0.0f, 0.8f}, 0.0f, 0.0f},
};

TEST(TraverseSponge, KnownRays) {
    for (const TraversalCase& c : CASES) {
        SingleAxisGuard guard(c.singleAxis);
        const TraversalResult r = traverseSponge(c.p[0], c.p[1], c.p[2], c.d[0], c.d[1], c.d[2]);
        EXPECT_NEAR(r.distance, c.distance, std::fabs(c.distance) * 2e-7f) << c.name;
        EXPECT_NEAR(r.exitParam, c.exitParam, std::fabs(c.exitParam) * 2e-7f) << c.name;
        EXPECT_EQ(r.exitParam2, r.exitParam) << c.name;
        EXPECT_EQ(r.exitParam3, r.exitParam) << c.name;
    }
}

TEST(TraverseSponge, ZeroDirectionComponentFlowsThroughAsIeeeSays) {
    // From the centre along axis 2: axes 0 and 1 give (0 - 0.5) / +0 = -inf, which wins both
    // comparisons; the step is -inf and 0 x -inf turns the position into NaN.
    SingleAxisGuard guard(0);
    const TraversalResult r = traverseSponge(0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 1.0f);
    EXPECT_TRUE(std::isnan(r.distance));
    EXPECT_EQ(r.exitParam, -INFINITY);
}

TEST(TraverseSponge, SingleAxisWithTinyD0LeapsFar) {
    SingleAxisGuard guard(1);
    const TraversalResult r = traverseSponge(0.5f, 0.5f, 0.5f, 1e-6f, 0.6f, 0.8f);
    EXPECT_GT(r.distance, 1e4f);
}

}  // namespace
