// The renderer's own sine and cosine against MPFR: the hard arguments the animation reaches,
// a sample of all it reaches, and floats of every magnitude. Also built with -march=native
// (tests named native.*): the results must not depend on the instruction set.
#include "render/correct_trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "render/float_bits.h"
#include "render/frame_step.h"
#include "tests/mpfr_reference.h"
#include "tests/test_support.h"

namespace {

std::string hex(float x) {
    char text[32];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(x));
    return text;
}

enum class Function { Sin, Cos };

CertifiedFloat ours(Function f, float x) { return f == Function::Sin ? certifiedSin(x) : certifiedCos(x); }
float reference(Function f, float x) { return f == Function::Sin ? mpfrSin(x) : mpfrCos(x); }

// Bit for bit, and certain of it.
void expectCorrect(Function f, float x, const std::string& what) {
    const CertifiedFloat got = ours(f, x);
    const float expected = reference(f, x);
    EXPECT_EQ(bitsOf(got.value), bitsOf(expected))
        << what << ": " << (f == Function::Sin ? "sin(" : "cos(") << hex(x) << ") gave " << hex(got.value)
        << ", correctly rounded " << hex(expected);
    EXPECT_TRUE(got.certain) << what << ": " << hex(x);
}

// The clock after each frame, as the frame step accumulates it, until it stops moving at
// 524288; body(frame, t) for each frame.
template <class Body>
void forEachFrame(Body body) {
    float t = 0.0f;
    for (int frame = 1;; ++frame) {
        const float next = t + CLOCK_STEP;
        if (next == t) return;
        t = next;
        body(frame, t);
    }
}

// The five sines and cosines a frame takes.
void expectFrameCorrect(int frame, float t) {
    const PoseArguments x = poseArguments(t);
    const std::string what = "frame " + std::to_string(frame);
    expectCorrect(Function::Cos, x.camera0, what);
    expectCorrect(Function::Sin, x.camera1, what);
    expectCorrect(Function::Sin, x.camera2, what);
    expectCorrect(Function::Sin, x.view, what);
    expectCorrect(Function::Cos, x.view, what);
}

struct HardCase {
    const char* label;
    int frame;
    Function function;
    float (*argument)(const PoseArguments&);
    float x;         // that argument
    float expected;  // correctly rounded
};

class HardCaseTest : public testing::TestWithParam<HardCase> {};

// Each argument is taken from the frame it occurs in, so the table also shows that the
// animation reaches it.
TEST_P(HardCaseTest, IsCorrectlyRounded) {
    const HardCase& c = GetParam();
    float clock = 0.0f;
    forEachFrame([&](int frame, float t) {
        if (frame == c.frame) clock = t;
    });
    ASSERT_EQ(bitsOf(c.argument(poseArguments(clock))), bitsOf(c.x)) << "frame " << c.frame;
    // Read through volatile: a literal argument could be folded by the compiler.
    volatile float x = c.x;
    EXPECT_EQ(bitsOf(ours(c.function, x).value), bitsOf(c.expected)) << hex(ours(c.function, x).value);
    expectCorrect(c.function, x, c.label);
}

float camera0(const PoseArguments& x) { return x.camera0; }
float camera1(const PoseArguments& x) { return x.camera1; }
float camera2(const PoseArguments& x) { return x.camera2; }
float view(const PoseArguments& x) { return x.view; }

INSTANTIATE_TEST_SUITE_P(
    Reached, HardCaseTest,
    testing::Values(
        // 2^-53.98 (relative) from a rounding boundary: a plain double evaluation lands on it.
        HardCase{"SinNearestToABoundary", 2966861, Function::Sin, camera2, 0x1.33333p+13f, -0x1.63f4bap-2f},
        // 2^-50.88 from a boundary.
        HardCase{"CosNearABoundary", 16996134, Function::Cos, camera0, 0x1.41c47p+16f, 0x1.fc33bap-1f},
        // The first arguments on which glibc 2.36 is one ulp off, one of each kind.
        HardCase{"Frame67Camera2", 67, Function::Sin, camera2, 0x1.c95e5p-3f, 0x1.c5937ap-3f},
        HardCase{"Frame78Camera1", 78, Function::Sin, camera1, 0x1.4fd7b2p-4f, 0x1.4f7764p-4f},
        HardCase{"Frame110ViewSin", 110, Function::Sin, view, 0x1.7773cp-3f, 0x1.755a44p-3f},
        HardCase{"Frame170Camera0", 170, Function::Cos, camera0, 0x1.b32ebep-1f, 0x1.51eca8p-1f}),
    CaseLabel());

TEST(CorrectTrig, FirstAndLastFrames) {
    int last = 0;
    float lastClock = 0.0f;
    forEachFrame([&](int frame, float t) {
        if (frame == 1) expectFrameCorrect(frame, t);
        last = frame;
        lastClock = t;
    });
    EXPECT_EQ(last, 24986957);
    EXPECT_EQ(lastClock, 524288.0f);
    expectFrameCorrect(last, lastClock);
}

// Every frame of the first 2000 and every 400th after them: 322,310 arguments.
TEST(CorrectTrig, SampleOfTheReachableArguments) {
    int checked = 0;
    forEachFrame([&](int frame, float t) {
        if (frame > 2000 && frame % 400 != 0) return;
        if (::testing::Test::HasFailure()) return;  // a broken function fails everywhere: say it once
        expectFrameCorrect(frame, t);
        ++checked;
    });
    EXPECT_EQ(checked, 2000 + (24986957 / 400 - 5));
}

// Far beyond what the animation needs: the reduction works for every float.
TEST(CorrectTrig, FloatsOfEveryMagnitude) {
    std::mt19937 rng(2026);
    for (int i = 0; i < 100000 && !::testing::Test::HasFailure(); ++i) {
        const float x = floatOf(static_cast<uint32_t>(rng()));
        if (std::isnan(x) || std::isinf(x)) continue;
        expectCorrect(Function::Sin, x, "random");
        expectCorrect(Function::Cos, x, "random");
    }
    // Multiples of pi/2 as close as floats get, powers of two, the ends of the range.
    for (const uint32_t bits : {0x3FC90FDBu, 0x40490FDBu, 0x4096CBE4u, 0x40C90FDBu, 0x7F7FFFFFu, 0x00800000u,
                                0x39800000u, 0x397FFFFFu, 0x3F490FDBu, 0x3F490FDAu, 0x5A000000u, 0x4B7FFFFFu}) {
        for (const float x : {floatOf(bits), -floatOf(bits)}) {
            expectCorrect(Function::Sin, x, "special");
            expectCorrect(Function::Cos, x, "special");
        }
    }
}

TEST(CorrectTrig, ZerosSubnormalsInfinitiesAndNan) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(bitsOf(correctSin(0.0f)), bitsOf(0.0f));
    EXPECT_EQ(bitsOf(correctSin(-0.0f)), bitsOf(-0.0f));
    EXPECT_EQ(correctCos(-0.0f), 1.0f);
    const float subnormal = floatOf(0x00000123u);
    EXPECT_EQ(correctSin(subnormal), subnormal);
    EXPECT_EQ(correctSin(-subnormal), -subnormal);
    EXPECT_EQ(correctCos(subnormal), 1.0f);
    for (const float x : {inf, -inf, std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_TRUE(std::isnan(correctSin(x))) << x;
        EXPECT_TRUE(std::isnan(correctCos(x))) << x;
    }
}

}  // namespace
