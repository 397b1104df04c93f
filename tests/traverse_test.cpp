#include "render/traverse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "render/float_bits.h"

namespace {

struct SingleAxisGuard {
    explicit SingleAxisGuard(int32_t value) { singleAxisStep = value; }
    ~SingleAxisGuard() { singleAxisStep = 0; }
};

std::string sevenDigits(float x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", x);
    return text;
}

struct TraversalCase {
    const char* name;
    int32_t singleAxis;
    float p[3];
    float d[3];
    uint32_t distance;  // bit patterns: the output is promised bit for bit
    uint32_t exitParam;
    const char* decimals;  // both, to seven significant digits, as the values are usually quoted
};

const TraversalCase CASES[] = {
    {"two empty cells then matter", 0, {0.5f, 0.5f, 0.5f}, {0.48f, 0.6f, 0.64f}, 0x3E8EBBF6u, 0x3D490BB5u,
     "0.2787778 0.04908343"},
    {"single-axis exits", 1, {0.5f, 0.5f, 0.5f}, {0.48f, 0.6f, 0.64f}, 0x3EDB4255u, 0x3FAD591Eu,
     "0.4282404 1.354282"},
    // The lattice corner is solid at every level: six descents, then the seventh test stops.
    {"solid at every level", 0, {0.0f, 0.0f, 0.0f}, {0.6f, 0.0f, 0.8f}, 0x00000000u, 0x00000000u, "0 0"},
    {"solid at every level, single-axis", 1, {2.0f, -3.0f, 0.0f}, {0.6f, 0.0f, 0.8f}, 0x00000000u, 0x00000000u,
     "0 0"},
    // A tiny first component leaps far in the single-axis phase.
    {"single-axis leap", 1, {0.5f, 0.5f, 0.5f}, {1e-6f, 0.6f, 0.8f}, 0x48BFE584u, 0x49742399u,
     "393004.1 999993.6"},
};

TEST(TraverseSponge, KnownRays) {
    for (const TraversalCase& c : CASES) {
        SingleAxisGuard guard(c.singleAxis);
        const TraversalResult r = traverseSponge(c.p[0], c.p[1], c.p[2], c.d[0], c.d[1], c.d[2]);
        EXPECT_EQ(bitsOf(r.distance), c.distance) << c.name << ": distance " << r.distance;
        EXPECT_EQ(bitsOf(r.exitParam), c.exitParam) << c.name << ": exitParam " << r.exitParam;
        EXPECT_EQ(sevenDigits(r.distance) + " " + sevenDigits(r.exitParam), c.decimals) << c.name;
        EXPECT_EQ(bitsOf(r.exitParam2), bitsOf(r.exitParam)) << c.name;
        EXPECT_EQ(bitsOf(r.exitParam3), bitsOf(r.exitParam)) << c.name;
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

}  // namespace
