// Bad values for every flag of sponge-render, and --from and --bench with the others.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "tests/run_program.h"

namespace {

struct BadArgsCase {
    const char* label;
    std::vector<std::string> args;
    const char* named;  // the flag the message must name
};

// ctest lists each case by its label rather than by its bytes.
void PrintTo(const BadArgsCase& c, std::ostream* os) { *os << c.label; }

class BadArgsTest : public testing::TestWithParam<BadArgsCase> {};

TEST_P(BadArgsTest, ExitTwoWithOneLineNamingTheFlag) {
    const BadArgsCase& c = GetParam();
    std::vector<std::string> args = {"--size", "8x6"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // exactly one line
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Flags, BadArgsTest,
    testing::Values(
        BadArgsCase{"FramesZero", {"--frames", "0"}, "--frames"},
        BadArgsCase{"FramesNegative", {"--frames", "-4"}, "--frames"},
        BadArgsCase{"FramesFraction", {"--frames", "1.5"}, "--frames"},
        BadArgsCase{"FramesOverflow", {"--frames", "99999999999"}, "--frames"},
        BadArgsCase{"FramesMissingValue", {"--frames"}, "--frames"},
        BadArgsCase{"FromZero", {"--from", "0"}, "--from"},
        BadArgsCase{"FromText", {"--from", "ten"}, "--from"},
        BadArgsCase{"FromNegative", {"--from=-2"}, "--from"},
        BadArgsCase{"FromAfterLastFrame", {"--frames", "12", "--from", "13"}, "--from"},
        BadArgsCase{"FromAfterDefaultLastFrame", {"--from", "2"}, "--from"},
        BadArgsCase{"SizeZero", {"--size", "0x10"}, "--size"},
        BadArgsCase{"SizeMissingHeight", {"--size", "10x"}, "--size"},
        BadArgsCase{"SizeTooWide", {"--size", "16385x10"}, "--size"},
        BadArgsCase{"SizeNoSeparator", {"--size", "240"}, "--size"},
        BadArgsCase{"SizeNegative", {"--size", "-4x4"}, "--size"},
        BadArgsCase{"SizeThreeSides", {"--size", "4x4x4"}, "--size"},
        BadArgsCase{"FilterUnknown", {"--filter", "blur"}, "--filter"},
        BadArgsCase{"FilterMissingValue", {"--filter"}, "--filter"},
        BadArgsCase{"RawBackwards", {"--raw", "5-3"}, "--raw"},
        BadArgsCase{"RawFromZero", {"--raw", "0-3"}, "--raw"},
        BadArgsCase{"RawNoRange", {"--raw", "3"}, "--raw"},
        BadArgsCase{"PathUnknown", {"--path", "simd"}, "--path"},
        BadArgsCase{"OutputNoExtension", {"--output", "fly"}, "--output"},
        BadArgsCase{"OutputUnknownExtension", {"--output", "fly.gif"}, "--output"},
        BadArgsCase{"OutputStringField", {"--output", "f-%s.png"}, "--output"},
        BadArgsCase{"OutputBareField", {"--output", "f-%.png"}, "--output"},
        BadArgsCase{"OutputHugeField", {"--output", "f-%123d.png"}, "--output"},
        BadArgsCase{"OutputTwoFields", {"--output", "f-%d-%d.png"}, "--output"},
        BadArgsCase{"OutputFieldInFolder", {"--output", "d%d/f.png"}, "--output"},
        BadArgsCase{"OutputFieldInVideo", {"--output", "f-%d.mp4"}, "--output"},
        BadArgsCase{"OutputMissingValue", {"--output"}, "--output"},
        BadArgsCase{"QuietWithValue", {"--quiet=maybe"}, "--quiet"},
        BadArgsCase{"BenchWithOutput", {"--bench", "--output", "x.png"}, "--bench"},
        BadArgsCase{"UnknownFlag", {"--fps", "30"}, "--fps"}),
    [](const testing::TestParamInfo<BadArgsCase>& info) { return std::string(info.param.label); });

struct BenchCase {
    const char* label;
    std::vector<std::string> args;
    const char* expected;  // the line's start: frames timed, size, filter
    double pixels;         // per frame
};

void PrintTo(const BenchCase& c, std::ostream* os) { *os << c.label; }

class BenchTest : public testing::TestWithParam<BenchCase> {};

TEST_P(BenchTest, PrintsOneSummaryLineAndNothingElse) {
    const BenchCase& c = GetParam();
    std::vector<std::string> args = {"--bench"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string start = std::string(c.expected) + "  seconds ";
    ASSERT_EQ(r.out.rfind(start, 0), 0u) << r.out;
    double seconds = -1, fps = -1, mrays = -1;
    int threads = 0, end = 0;
    char path[64] = {};
    ASSERT_EQ(std::sscanf(r.out.c_str() + start.size(), "%lf  fps %lf  Mrays/s %lf  threads %d  path %63s%n",
                          &seconds, &fps, &mrays, &threads, path, &end),
              5)
        << r.out;
    // Only the arithmetic is checked, never the speed: one ray per pixel of every frame.
    EXPECT_GE(seconds, 0);
    EXPECT_GE(fps, 0);
    EXPECT_NEAR(mrays, fps * c.pixels / 1e6, 0.0005 + fps * 0.005 * c.pixels / 1e6);
    EXPECT_GE(threads, 1);
    EXPECT_EQ(r.out.substr(start.size() + end), "\n");  // one line, nothing after it
}

INSTANTIATE_TEST_SUITE_P(
    Runs, BenchTest,
    testing::Values(BenchCase{"Defaults", {}, "frames 1  size 240x180  filter cross", 240 * 180},
                    BenchCase{"QuadSmall", {"--frames", "4", "--size", "32x24", "--filter", "quad"},
                              "frames 4  size 32x24  filter quad", 32 * 24},
                    // Frames before --from bring the animation to its place untimed.
                    BenchCase{"FromCountsOnlyTimedFrames",
                              {"--frames", "9", "--from", "7", "--size", "16x12", "--filter", "none"},
                              "frames 3  size 16x12  filter none", 16 * 12}),
    [](const testing::TestParamInfo<BenchCase>& info) { return std::string(info.param.label); });

}  // namespace
