#include "render/float_to_int.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Read through volatile so the compiler cannot fold the conversion of a known constant.
template <typename T>
T opaque(T x) {
    volatile T v = x;
    return v;
}

struct Case {
    double input;
    int32_t expected;
};

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NAN_ = std::numeric_limits<double>::quiet_NaN();

const Case FLOAT_CASES[] = {
    {NAN_, INT32_MIN},
    {-NAN_, INT32_MIN},
    {INF, INT32_MIN},
    {-INF, INT32_MIN},
    {2147483648.0, INT32_MIN},    // 2^31: just out of range
    {-2147483648.0, INT32_MIN},   // -2^31: in range, and happens to be INT32_MIN too
    {2147483520.0, 2147483520},   // the largest float below 2^31
    {-2147483904.0, INT32_MIN},   // the float just below -2^31
    {3e9, INT32_MIN},
    {1.9999999, 1},
    {-1.9999999, -1},
    {-0.5, 0},
    {2.0, 2},
};

TEST(TruncToInt32, FloatMatchesTruncatingConversion) {
    for (const Case& c : FLOAT_CASES) {
        EXPECT_EQ(truncToInt32(opaque(static_cast<float>(c.input))), c.expected) << "input " << c.input;
    }
}

TEST(TruncToInt32, DoubleKeepsFullRangeAndRejectsTheRest) {
    const Case cases[] = {
        {NAN_, INT32_MIN},        {INF, INT32_MIN},         {-INF, INT32_MIN},
        {2147483647.9, INT32_MAX}, {2147483648.0, INT32_MIN}, {-2147483648.9, INT32_MIN},
        {-2147483647.5, -2147483647}, {254.99998474121094, 254}, {255.0, 255},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(truncToInt32(opaque(c.input)), c.expected) << "input " << c.input;
    }
}

}  // namespace
