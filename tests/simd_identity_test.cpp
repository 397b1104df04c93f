// The fast path must give the plain path's pixels bit for bit, on every Highway target
// compiled in, at any thread count and size. Each target is a test of its own
// (SimdTraversal.RandomRays/AVX2, ...): the fixture forces the fast path onto it and
// releases it again however the test ends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "hwy/targets.h"
#include "hwy/tests/hwy_gtest.h"
#include "render/fast_path.h"
#include "render/float_bits.h"
#include "render/float_to_int.h"
#include "render/frame_step.h"
#include "render/render_path.h"
#include "render/shade_row.h"
#include "render/traverse.h"
#include "tests/frame_support.h"

namespace {

// One test per compiled target this CPU can run, with the fast path forced onto it.
class SimdTarget : public hwy::TestWithParamTarget {
protected:
    void SetUp() override {
        hwy::TestWithParamTarget::SetUp();
        ASSERT_STREQ(fastTargetName(), hwy::TargetName(GetParam()));
    }
};

// Positions and directions a traversal may meet, including what the frame never gives.
float interestingFloat(std::mt19937& rng) {
    static const float SPECIAL[] = {0.0f,
                                    -0.0f,
                                    1.0f,
                                    -1.0f,
                                    0.5f,
                                    1e-6f,
                                    -1e-6f,
                                    1e-30f,
                                    1e30f,
                                    -1e30f,
                                    2147483648.0f,
                                    -2147483648.0f,
                                    2147483520.0f,
                                    3e9f,
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::denorm_min(),
                                    0.33333334f,
                                    0.6666667f};
    switch (rng() % 4) {
        case 0: return SPECIAL[rng() % (sizeof SPECIAL / sizeof SPECIAL[0])];
        case 1: return floatOf(static_cast<uint32_t>(rng()));  // any bit pattern, NaNs included
        default: return std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng);
    }
}

// Bit for bit, except that a NaN may be any NaN: which operand's NaN an operation passes
// on is not fixed by IEEE 754 and the compiler may swap the operands of the plain code.
// Pixels cannot tell: a NaN channel packs as 0 whatever its bits.
bool sameResult(float plain, float fast) {
    if (std::isnan(plain)) return std::isnan(fast);
    return bitsOf(plain) == bitsOf(fast);
}

void expectSameTraversal(const std::vector<float> origin[3], const std::vector<float> dir[3], int32_t singleAxis) {
    const size_t n = origin[0].size();
    std::vector<float> distance(n), exitParam(n);
    const float* o[3] = {origin[0].data(), origin[1].data(), origin[2].data()};
    const float* d[3] = {dir[0].data(), dir[1].data(), dir[2].data()};
    traceRaysFast(n, o, d, singleAxis, distance.data(), exitParam.data());
    singleAxisStep = singleAxis;
    size_t mismatches = 0;
    for (size_t i = 0; i < n && mismatches < 5; ++i) {
        const TraversalResult r = traverseSponge(o[0][i], o[1][i], o[2][i], d[0][i], d[1][i], d[2][i]);
        if (!sameResult(r.distance, distance[i]) || !sameResult(r.exitParam, exitParam[i])) {
            ++mismatches;
            ADD_FAILURE() << "ray " << i << " from (" << o[0][i] << ", " << o[1][i] << ", " << o[2][i]
                          << ") along (" << d[0][i] << ", " << d[1][i] << ", " << d[2][i] << "): plain "
                          << r.distance << " / " << r.exitParam << ", fast " << distance[i] << " / "
                          << exitParam[i];
        }
    }
    singleAxisStep = 0;
}

using SimdConversion = SimdTarget;
HWY_TARGET_INSTANTIATE_TEST_SUITE_P(SimdConversion);

TEST_P(SimdConversion, TruncationGivesInt32MinForNanAndOutOfRange) {
    // Built at run time from bit patterns, so the compiler cannot fold the conversions.
    std::vector<float> in;
    for (const uint32_t bits : {0x7FC00000u, 0xFFC00000u, 0x7F800001u, 0x7FFFFFFFu, 0x7F800000u, 0xFF800000u,
                                0x4F000000u, 0xCF000000u, 0x4EFFFFFFu, 0xCEFFFFFFu, 0x4F32D05Eu, 0xCF32D05Eu,
                                0x00000001u, 0x80000001u, 0x3F7FFFFFu, 0xBF7FFFFFu, 0x40400000u, 0x7F7FFFFFu}) {
        in.push_back(floatOf(bits));
    }
    std::mt19937 rng(5);
    for (int i = 0; i < 5000; ++i) in.push_back(floatOf(static_cast<uint32_t>(rng())));
    for (int i = 0; i < 5000; ++i) in.push_back(std::uniform_real_distribution<float>(-1e10f, 1e10f)(rng));
    std::vector<int32_t> out(in.size());
    truncateFloatsFast(in.size(), in.data(), out.data());
    for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(out[i], truncToInt32(in[i])) << "bits " << std::hex << bitsOf(in[i]);
    }
}

using SimdTraversal = SimdTarget;
HWY_TARGET_INSTANTIATE_TEST_SUITE_P(SimdTraversal);

TEST_P(SimdTraversal, RandomRaysMatchTheScalarTraversal) {
    for (const int32_t singleAxis : {0, 1}) {
        std::mt19937 rng(1234 + singleAxis);
        std::vector<float> origin[3], dir[3];
        // Ordinary rays from inside the lattice, as the frames cast them ...
        for (int i = 0; i < 3000; ++i) {
            std::uniform_real_distribution<float> pos(-4.0f, 4.0f), unit(-1.0f, 1.0f);
            float d[3] = {unit(rng), unit(rng), unit(rng)};
            const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int k = 0; k < 3; ++k) {
                origin[k].push_back(pos(rng));
                dir[k].push_back(d[k] / len);
            }
        }
        // ... and any mixture of zeros, NaN, infinities and huge values.
        for (int i = 0; i < 3000; ++i) {
            for (int k = 0; k < 3; ++k) {
                origin[k].push_back(interestingFloat(rng));
                dir[k].push_back(interestingFloat(rng));
            }
        }
        // Tiny first components leap far in the single-axis phase.
        for (int i = 0; i < 500; ++i) {
            origin[0].push_back(0.5f);
            origin[1].push_back(static_cast<float>(i) * 0.37f);
            origin[2].push_back(0.5f);
            dir[0].push_back(std::ldexp(1.0f, -(i % 40)) * (i % 2 ? 1.0f : -1.0f));
            dir[1].push_back(0.6f);
            dir[2].push_back(0.8f);
        }
        expectSameTraversal(origin, dir, singleAxis);
    }
}

// Rays the vectors hand to the scalar traversal, in the middle of vectors of ordinary ones:
// origins beyond 2^31 or NaN (from the start), steps that carry a ray beyond 2^31 (a tiny
// first component in the single-axis phase) or to NaN and infinity (a zero component), some
// of them on the last iteration of their budget. Where both results are NaN, which NaN is
// not fixed (see sameResult).
TEST_P(SimdTraversal, FarLanesAreFinishedByTheScalarTraversal) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Ray {
        float o[3], d[3];
    };
    const Ray FAR[] = {
        {{3e9f, 0.5f, 0.5f}, {0.48f, 0.6f, 0.64f}},      {{0.5f, -2147483648.0f, 0.5f}, {0.6f, 0.8f, 0.0f}},
        {{0.5f, 0.5f, 2147483520.0f}, {0.6f, 0.0f, 0.8f}}, {{nan, 0.5f, 0.5f}, {0.6f, 0.8f, 0.0f}},
        {{0.5f, inf, 0.5f}, {1.0f, 0.0f, 0.0f}},          {{0.5f, 0.5f, 0.5f}, {1e-12f, 0.6f, 0.8f}},
        {{0.5f, 0.5f, 0.5f}, {-1e-15f, 0.6f, 0.8f}},      {{0.5f, 0.5f, 0.5f}, {0.0f, 0.0f, 1.0f}},
        {{0.5f, 0.5f, 0.5f}, {1.0f, 0.0f, 0.0f}},         {{1.5e9f, 1.5e9f, 0.5f}, {0.48f, 0.6f, 0.64f}},
        {{0.7f, 0.2f, 0.9f}, {1e-30f, 1e-30f, 1.0f}},     {{2e9f, 0.5f, 0.5f}, {-0.6f, 0.8f, 0.0f}},
    };
    for (const int32_t singleAxis : {0, 1}) {
        std::mt19937 rng(4242 + singleAxis);
        std::vector<float> origin[3], dir[3];
        for (int i = 0; i < 4000; ++i) {
            const bool far = rng() % 5 == 0;
            const Ray& r = FAR[rng() % (sizeof FAR / sizeof FAR[0])];
            for (int k = 0; k < 3; ++k) {
                origin[k].push_back(far ? r.o[k] : std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng));
                dir[k].push_back(far ? r.d[k] : std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng));
            }
        }
        expectSameTraversal(origin, dir, singleAxis);
    }
}

TEST_P(SimdTraversal, DigitBoundariesMatchTheScalarTraversal) {
    // Origins on the edges of the digit arithmetic: exact thirds and integers (a digit
    // equal to its f), signed zeros, the ends of the int32 range, and the floats just
    // below -2^31, whose conversion gives INT32_MIN although their fraction is a
    // multiple of 256 (digits such as 768; -2^31 - 2816 gives 8448, whose square
    // swallows two odd digits in the float sum). Directions along axes (infinite exit
    // candidates), tiny, huge and unnormalised.
    const float ORIGINS[] = {0.0f,          -0.0f,         1.0f,          -1.0f,        0.33333334f,  0.6666667f,
                             0.5f,          -0.5f,         2.0f,          1.0f / 9.0f,  2147483520.0f, 2147483648.0f,
                             -2147483648.0f, -2147483904.0f, -3e9f,       -4294967040.0f, -2147486464.0f, 1e-40f, -1e-40f};
    const float DIRS[] = {1.0f, -1.0f, 0.0f, -0.0f, 0.6f, -0.8f, 1e-7f, -1e-20f, 1e20f, 3.0f};
    for (const int32_t singleAxis : {0, 1}) {
        std::mt19937 rng(77 + singleAxis);
        std::vector<float> origin[3], dir[3];
        for (int i = 0; i < 6000; ++i) {
            for (int k = 0; k < 3; ++k) {
                origin[k].push_back(ORIGINS[rng() % (sizeof ORIGINS / sizeof ORIGINS[0])]);
                dir[k].push_back(DIRS[rng() % (sizeof DIRS / sizeof DIRS[0])]);
            }
        }
        expectSameTraversal(origin, dir, singleAxis);
    }
}

TEST_P(SimdTraversal, QueueSizesAroundTheLaneCount) {
    // Queues shorter than, equal to and just past a vector, and past a chunk.
    std::mt19937 rng(99);
    for (const size_t n : {size_t{0}, size_t{1}, size_t{3}, size_t{15}, size_t{16}, size_t{17}, size_t{33},
                           size_t{1023}, size_t{1024}, size_t{1025}, size_t{2100}}) {
        std::vector<float> origin[3], dir[3];
        for (size_t i = 0; i < n; ++i) {
            for (int k = 0; k < 3; ++k) {
                origin[k].push_back(std::uniform_real_distribution<float>(-2.0f, 2.0f)(rng));
                dir[k].push_back(std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng));
            }
        }
        expectSameTraversal(origin, dir, 0);
    }
}

using SimdPacking = SimdTarget;
HWY_TARGET_INSTANTIATE_TEST_SUITE_P(SimdPacking);

TEST_P(SimdPacking, ChannelValuesPackAsThePlainPath) {
    // The product is formed in double precision as in the plain path. Check the floats
    // on both sides of every byte boundary k / 255, where a rounded single-precision
    // product would go wrong, and a sample of all floats in [0, 1].
    std::vector<float> red, green, blue;
    const uint32_t last = bitsOf(1.0f);
    for (int k = 0; k <= 255; ++k) {
        const uint32_t centre = bitsOf(static_cast<float>(k / 255.0));
        for (uint32_t b = centre > 300 ? centre - 300 : 0; b <= centre + 300 && b <= last; ++b) {
            red.push_back(floatOf(b));
        }
    }
    for (uint32_t b = 0; b <= last; b += 251) red.push_back(floatOf(b));
    red.push_back(1.0f);
    red.push_back(-0.0f);
    red.push_back(std::numeric_limits<float>::quiet_NaN());
    red.push_back(-std::numeric_limits<float>::quiet_NaN());
    for (size_t i = 0; i < red.size(); ++i) {
        green.push_back(red[red.size() - 1 - i]);
        blue.push_back(red[(i * 7919) % red.size()]);
    }
    std::vector<uint32_t> packed(red.size());
    packColoursFast(red.size(), red.data(), green.data(), blue.data(), packed.data());
    size_t mismatches = 0;
    for (size_t i = 0; i < red.size() && mismatches < 5; ++i) {
        const uint32_t expected = packColour(red[i], green[i], blue[i]);
        if (packed[i] != expected) {
            ++mismatches;
            ADD_FAILURE() << "channels " << red[i] << ", " << green[i] << ", " << blue[i] << ": plain " << std::hex
                          << expected << ", fast " << packed[i];
        }
    }
}

// Renders the same frames on both paths from the same starting buffer and clock, and
// compares every frame's buffer word for word.
std::vector<uint32_t> startBuffer(const FrameRun& run) {
    std::mt19937 rng(7);
    std::vector<uint32_t> start(static_cast<size_t>(run.width) * static_cast<size_t>(run.height));
    for (uint32_t& px : start) px = static_cast<uint32_t>(rng());  // the top byte too
    return start;
}

// The plain path on one thread: it is the reference.
std::vector<uint32_t> plainFrames(FrameRun run) {
    ThreadCount one(1);
    run.path = RenderPath::Plain;
    return renderRun(run, startBuffer(run));
}

void expectSameFrames(FrameRun run, const std::vector<uint32_t>& plain, const std::string& what) {
    SCOPED_TRACE(what);
    run.path = RenderPath::Fast;
    const std::vector<uint32_t> fast = renderRun(run, startBuffer(run));
    ASSERT_EQ(plain.size(), fast.size());
    const size_t size = static_cast<size_t>(run.width) * static_cast<size_t>(run.height);
    for (size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] != fast[i]) {
            const size_t frame = size ? i / size : 0, at = size ? i % size : 0;
            FAIL() << "frame " << frame + 1 << " pixel (" << at % static_cast<size_t>(run.width) << ", "
                   << at / static_cast<size_t>(run.width) << "): plain " << std::hex << plain[i] << ", fast "
                   << fast[i];
        }
    }
}

// Compares the run at every thread count.
void expectSameFramesAtThreads(const FrameRun& run, std::initializer_list<int> threadCounts, const std::string& what) {
    const std::vector<uint32_t> plain = plainFrames(run);
    for (const int threads : threadCounts) {
        ThreadCount count(threads);
        expectSameFrames(run, plain, what + ", " + std::to_string(threads) + " threads");
    }
}

struct FilterCase {
    const char* name;
    const TrailFilterVariants* filter;
    bool raw;
};
// Every filter of the table, none, and raw frames.
const std::vector<FilterCase> FILTERS = [] {
    std::vector<FilterCase> cases;
    for (size_t i = 0; i < TRAIL_FILTER_COUNT; ++i) cases.push_back({TRAIL_FILTERS[i].name, &TRAIL_FILTERS[i].variants, false});
    cases.push_back({"none", nullptr, false});
    cases.push_back({"raw", &TRAIL_FILTERS[0].variants, true});
    return cases;
}();

FrameRun frameRun(int width, int height, const FilterCase& f, float startClock, int frames) {
    return {width, height, f.filter, startClock, frames, f.raw ? allRaw() : RawFrames{}};
}

using SimdFrames = SimdTarget;
HWY_TARGET_INSTANTIATE_TEST_SUITE_P(SimdFrames);

TEST_P(SimdFrames, SmallAndOddSizesEveryThreadCountAndFilter) {
    struct Size {
        int width, height;
    };
    const Size SIZES[] = {{1, 1}, {7, 5}, {241, 3}, {3, 241}, {240, 180}};
    for (const Size& s : SIZES) {
        for (const FilterCase& f : FILTERS) {
            // Frames 1-3, where the camera is still in the mirrored half of the lattice.
            expectSameFramesAtThreads(frameRun(s.width, s.height, f, 0.0f, 3), {1, 2, 3},
                                      std::to_string(s.width) + "x" + std::to_string(s.height) + " " + f.name);
        }
    }
}

TEST_P(SimdFrames, SingleAxisPhaseAndFarLeaps) {
    for (const FilterCase& f : FILTERS) {
        // Just before the clock reaches 22.0: the last three-axis frames and the first
        // single-axis ones, in which rays with a small first component leap far.
        expectSameFramesAtThreads(frameRun(240, 180, f, 21.98f, 4), {1, 2}, std::string("into single-axis, ") + f.name);
        // And the switch back at 30.0.
        expectSameFramesAtThreads(frameRun(97, 61, f, 29.97f, 4), {2}, std::string("back to three axes, ") + f.name);
    }
}

// Poses off the fixed path: the two view angles apart, in any quadrant, single-axis or not.
CameraPose steeredPose(void* context, float t) {
    const int* frame = static_cast<const int*>(context);
    CameraPose pose = framePose(t);
    pose.angle[0] = 0.7f - 1.9f * static_cast<float>(*frame);
    pose.angle[1] = -2.3f + 1.3f * static_cast<float>(*frame);
    pose.position[0] = pose.position[0] + 0.37f * static_cast<float>(*frame);
    pose.singleAxis = *frame % 2;
    return pose;
}

TEST_P(SimdFrames, TwoViewAnglesApart) {
    int frame = 0;
    for (const FilterCase& f : FILTERS) {
        FrameRun run = frameRun(97, 61, f, 3.0f, 4);
        run.poses = {[](void* context, float t) {
                         int* n = static_cast<int*>(context);
                         ++*n;
                         return steeredPose(n, t);
                     },
                     &frame};
        // The plain and the fast run each count their frames from 0.
        const std::vector<uint32_t> plain = [&] {
            frame = 0;
            return plainFrames(run);
        }();
        for (const int threads : {1, 2}) {
            ThreadCount count(threads);
            frame = 0;
            expectSameFrames(run, plain, std::string("two angles, ") + f.name + ", " + std::to_string(threads) + " threads");
        }
    }
}

TEST_P(SimdFrames, PathNamesTheTarget) {
    EXPECT_STREQ(renderPathName(RenderPath::Plain), "plain");
    EXPECT_STREQ(renderPathName(RenderPath::Fast), hwy::TargetName(GetParam()));
}

// The best target only, on two threads: the sizes above cover the rest, and the plain path
// is slow at this size.
TEST(SimdFullHd, FramesOnTheBestTarget) {
    ThreadCount two(2);
    const FrameRun RUNS[] = {{1920, 1080, &trailFilterNamed("cross"), 0.0f, 1, allRaw()},
                             {1920, 1080, &trailFilterNamed("cross"), 23.0f, 1},
                             {1920, 1080, &trailFilterNamed("quad"), 5.0f, 1}};
    for (const FrameRun& run : RUNS) {
        expectSameFrames(run, plainFrames(run), "1920x1080 at clock " + std::to_string(run.startClock));
    }
}

// Random words with the bits of `set` forced on: byte values near 255 give the largest
// sums the fast filters form.
void expectSameFilter(const TrailFilterVariants& filter, int width, int height, uint32_t seed, uint32_t set = 0) {
    std::mt19937 rng(seed);
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint32_t> a(size + 1), b(size + 1);
    for (uint32_t& px : a) px = static_cast<uint32_t>(rng()) | set;
    b = a;
    std::vector<uint64_t> scratch;
    filter.plain(a.data(), width, height);
    filter.fast(b.data(), width, height, scratch);
    for (size_t i = 0; i <= size; ++i) {
        if (a[i] != b[i]) {
            FAIL() << width << "x" << height << " word " << i << ": plain " << std::hex << a[i] << ", fast " << b[i];
        }
    }
}

using SimdFilters = SimdTarget;
HWY_TARGET_INSTANTIATE_TEST_SUITE_P(SimdFilters);

TEST_P(SimdFilters, FastFiltersMatchThePlainOnes) {
    uint32_t seed = 1;
    for (size_t f = 0; f < TRAIL_FILTER_COUNT; ++f) {
        SCOPED_TRACE(TRAIL_FILTERS[f].name);
        const TrailFilterVariants& filter = TRAIL_FILTERS[f].variants;
        for (int height = 0; height <= 11; ++height) {
            for (int width = 0; width <= 37; ++width) expectSameFilter(filter, width, height, ++seed);
        }
        const int SIZES[][2] = {{241, 3}, {3, 241}, {240, 180}, {17, 1000}, {1920, 1080}};
        for (const auto& s : SIZES) expectSameFilter(filter, s[0], s[1], ++seed);
        for (const uint32_t set : {0xF0F0F0F0u, 0xFFFFFFFFu}) expectSameFilter(filter, 67, 13, ++seed, set);
    }
}

}  // namespace
