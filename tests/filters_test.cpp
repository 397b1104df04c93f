#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "filters/cross/byte_fields.h"
#include "filters/cross/cross_smear.h"
#include "filters/quad/quad_blend.h"
#include "filters/trail_filters.h"

namespace {

// Cases of the filters as the table names them: a table that bound the wrong routine to a
// name, or a fast variant that is not the routine's, fails them.
struct FilterCase {
    const char* name;
    const char* filter;
    int width, height;
    std::vector<uint32_t> before;
    std::vector<uint32_t> after;
};

constexpr uint32_t W = 0x00FFFFFFu;

std::vector<uint32_t> zerosWith(int width, int height, int x, int y, uint32_t value) {
    std::vector<uint32_t> p(static_cast<size_t>(width) * height, 0);
    p[static_cast<size_t>(y) * width + x] = value;
    return p;
}

std::vector<FilterCase> cases() {
    std::vector<FilterCase> all = {
        {"cross 3x3 dark centre", "cross", 3, 3, {W, W, W, W, 0, W, W, W, W},
         {W, W, W, W, 0x00EFEFEFu, W, W, W, W}},
        // The second value feeds on the already rewritten left neighbour; the top byte is
        // filtered like a colour byte.
        {"cross 4x3 recursion and top byte", "cross", 4, 3, zerosWith(4, 3, 1, 1, 0xFF0000FFu),
         {0, 0, 0, 0, 0, 0x0F00000Fu, 0x01000001u, 0, 0, 0, 0, 0}},
        {"cross height 2 untouched", "cross", 3, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        {"cross width 2 untouched", "cross", 2, 3, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        {"quad 2x2", "quad", 2, 2, {0, W, W, W}, {0x00DFDFDFu, W, W, W}},
        {"quad 3x3 corner", "quad", 3, 3, zerosWith(3, 3, 2, 2, 0xFFFFFFFFu),
         {0, 0, 0, 0, 0x7F7F7F7Fu, 0, 0, 0, 0xFFFFFFFFu}},
        {"quad height 1 untouched", "quad", 3, 1, {1, 2, 3}, {1, 2, 3}},
        {"quad width 1 untouched", "quad", 1, 3, {1, 2, 3}, {1, 2, 3}},
    };
    for (size_t i = 0; i < TRAIL_FILTER_COUNT; ++i) {
        std::vector<uint32_t> uniform(7 * 6, 0x80C0FF3Du);
        all.push_back({"uniform stays uniform", TRAIL_FILTERS[i].name, 7, 6, uniform, uniform});
    }
    return all;
}

TEST(TrailFilters, Cases) {
    for (const FilterCase& c : cases()) {
        const TrailFilterVariants& filter = trailFilterNamed(c.filter);
        std::vector<uint32_t> plain = c.before, fast = c.before;
        filter.plain(plain.data(), c.width, c.height);
        EXPECT_EQ(plain, c.after) << c.filter << ", plain: " << c.name;
        std::vector<uint64_t> memory;
        filter.fast(fast.data(), c.width, c.height, memory);
        EXPECT_EQ(fast, c.after) << c.filter << ", fast: " << c.name;
    }
}

TEST(TrailFilters, NamesAndChoices) {
    const TrailFilterVariants* filter = &trailFilterNamed("cross");
    EXPECT_TRUE(findTrailFilter("none", &filter));
    EXPECT_EQ(filter, nullptr);
    EXPECT_FALSE(findTrailFilter("constructor", &filter));
    EXPECT_FALSE(findTrailFilter("", &filter));
    EXPECT_EQ(trailFilterChoices(), "cross, quad or none");
}

TEST(CrossSmearFilter, SinglePixelSmearsDownAndRight) {
    const int w = 9, h = 8, x = 3, y = 3;
    const uint32_t v = 0xC8;
    std::vector<uint32_t> p = zerosWith(w, h, x, y, v);
    crossSmearFilter(p.data(), w, h);
    EXPECT_EQ(p[(y - 1) * w + x], v >> 2);  // above reads it as its lower neighbour
    EXPECT_EQ(p[y * w + x - 1], v >> 4);    // left reads it as its right neighbour
    // Below and right read its rewritten value, so the smear runs on down and right...
    EXPECT_GT(p[(y + 1) * w + x], 0u);
    EXPECT_GT(p[y * w + x + 1], 0u);
    EXPECT_GT(p[(y + 2) * w + x + 1], 0u);
    // ...but never further up or left than one neighbour.
    EXPECT_EQ(p[(y - 2) * w + x], 0u);
    EXPECT_EQ(p[y * w + x - 2], 0u);
}

TEST(QuadBlendFilter, SinglePixelMovesUpAndLeft) {
    const int w = 7, h = 6, x = 3, y = 2;
    const uint32_t v = 0xE7;
    std::vector<uint32_t> p = zerosWith(w, h, x, y, v);
    quadBlendFilter(p.data(), w, h);
    std::vector<uint32_t> expected(w * h, 0);
    expected[(y - 1) * w + x - 1] = v >> 1;
    expected[(y - 1) * w + x] = v >> 2;
    expected[y * w + x - 1] = v >> 3;
    expected[y * w + x] = v >> 3;
    EXPECT_EQ(p, expected);
}

// The fast smear works on a pixel's bytes spread over 16-bit fields and back.
TEST(ByteFields, SpreadAndGatherRoundTrip) {
    EXPECT_EQ(spreadBytes(0x8040FF01u), 0x0080004000FF0001ull);  // byte 0 in the lowest field
    for (const uint32_t px : {0u, 0xFFFFFFFFu, 0x8040FF01u, 0x00FF00FFu, 0xFF00FF00u, 0x12345678u}) {
        EXPECT_EQ(gatherBytes(spreadBytes(px)), px) << std::hex << px;
        EXPECT_EQ(spreadBytes(px) & ~BYTE_FIELDS, 0u) << std::hex << px;
    }
    // Sixteen times the largest byte still fits its field: the fields do not carry.
    const uint64_t white = spreadBytes(0xFFFFFFFFu);
    EXPECT_EQ(smearedBytes(white, white, (white << 2) + white + white), white);
}

}  // namespace
