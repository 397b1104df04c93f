// Bad values for every flag of sponge-render, and --from and --bench with the others.
// The parser is called in process; the program itself shows what reaches the user.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "tests/run_program.h"
#include "tests/test_support.h"
#include "tools/sponge-render/options.h"
#include "tools/sponge-render/render_run.h"

namespace {

struct BadArgsCase {
    const char* label;
    std::vector<std::string> args;
    const char* named;  // the flag the message must name
};


// parseOptions on "sponge-render" followed by args.
ParseResult parse(const std::vector<std::string>& args, RenderOptions* options, std::string* message) {
    std::vector<const char*> argv = {"sponge-render"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), options, message);
}

class BadArgsTest : public testing::TestWithParam<BadArgsCase> {};

TEST_P(BadArgsTest, OneLineNamingTheFlag) {
    const BadArgsCase& c = GetParam();
    std::vector<std::string> args = {"--size", "8x6"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RenderOptions options;
    std::string message;
    EXPECT_EQ(parse(args, &options, &message), ParseResult::Error);
    ASSERT_FALSE(message.empty());
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_NE(message.find(c.named), std::string::npos) << message;
}

// Help wherever it is asked for, also after a mistake: it is what such a user needs.
TEST(Help, AnywhereOnTheLine) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"--frames", "0", "--help"}, {"--size", "8x6", "-h", "--output", "x.gif"}}) {
        RenderOptions options;
        std::string message;
        EXPECT_EQ(parse(args, &options, &message), ParseResult::Help) << args.size();
        EXPECT_NE(message.find("--frames"), std::string::npos);
    }
}

TEST(BadArgs, ProgramExitsTwoWithTheLineOnStandardError) {
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, {"--size", "8x6", "--frames", "0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("sponge-render: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // exactly one line
    EXPECT_NE(r.err.find("--frames"), std::string::npos) << r.err;
}

// What the user typed is echoed with its control characters written out: one line still.
TEST(BadArgs, ControlCharactersAreWrittenOut) {
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, {"--output", "a\nb\x1b[2J.gif"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find("a\\nb\\x1b[2J.gif"), std::string::npos) << r.err;
}

TEST(FrameCount, StopsAtTheLastFrameEvenAtTheLargestNumber) {
    std::vector<int> frames;
    for (int f = INT32_MAX - 2; f != 0 && frames.size() < 10; f = frameAfter(f, INT32_MAX)) frames.push_back(f);
    EXPECT_EQ(frames, (std::vector<int>{INT32_MAX - 2, INT32_MAX - 1, INT32_MAX}));
    EXPECT_EQ(frameAfter(1, 1), 0);
}

struct GoodArgsCase {
    const char* label;
    std::vector<std::string> args;
    RenderOptions expected;
};

class GoodArgsTest : public testing::TestWithParam<GoodArgsCase> {};

TEST_P(GoodArgsTest, FillTheOptions) {
    const GoodArgsCase& c = GetParam();
    RenderOptions o;
    std::string message;
    ASSERT_EQ(parse(c.args, &o, &message), ParseResult::Run) << message;
    const RenderOptions& e = c.expected;
    EXPECT_EQ(o.filterName, e.filterName);
    EXPECT_EQ(o.filter, e.filter);
    EXPECT_EQ(o.width, e.width);
    EXPECT_EQ(o.height, e.height);
    EXPECT_EQ(o.frames, e.frames);
    EXPECT_EQ(o.from, e.from);
    EXPECT_EQ(o.rawFrom, e.rawFrom);
    EXPECT_EQ(o.rawTo, e.rawTo);
    EXPECT_EQ(o.path, e.path);
    EXPECT_EQ(o.quiet, e.quiet);
    EXPECT_EQ(o.bench, e.bench);
    EXPECT_EQ(o.output.kind, e.output.kind);
    EXPECT_EQ(o.output.path, e.output.path);
}

GoodArgsCase goodCase(const char* label, std::vector<std::string> args, void (*set)(RenderOptions&)) {
    RenderOptions expected;
    expected.filter = &trailFilterNamed("cross");
    set(expected);
    return {label, std::move(args), expected};
}

INSTANTIATE_TEST_SUITE_P(
    Flags, GoodArgsTest,
    testing::Values(
        goodCase("Defaults", {}, [](RenderOptions&) {}),
        goodCase("SizeFramesFrom", {"--size", "16384x1", "--frames", "30", "--from", "30"},
                 [](RenderOptions& o) { o.width = 16384, o.height = 1, o.frames = 30, o.from = 30; }),
        // A leading zero is no octal: 010 is ten, and 0900 is nine hundred.
        goodCase("LeadingZeros", {"--frames", "0900", "--from", "010"},
                 [](RenderOptions& o) { o.frames = 900, o.from = 10; }),
        goodCase("ManyLeadingZeros", {"--frames", "00000000001"}, [](RenderOptions& o) { o.frames = 1; }),
        goodCase("LargestFrameNumber", {"--frames", "2147483647", "--from", "2147483647"},
                 [](RenderOptions& o) { o.frames = 2147483647, o.from = 2147483647; }),
        goodCase("QuadPlainQuiet", {"--filter", "quad", "--path", "plain", "--quiet"},
                 [](RenderOptions& o) {
                     o.filterName = "quad", o.filter = &trailFilterNamed("quad"), o.path = RenderPath::Plain, o.quiet = true;
                 }),
        goodCase("NoFilterRawBench", {"--filter=none", "--frames", "5", "--raw", "2-9", "--bench"},
                 [](RenderOptions& o) {
                     o.filterName = "none", o.filter = nullptr, o.frames = 5, o.rawFrom = 2, o.rawTo = 9,
                     o.bench = true;
                 }),
        goodCase("Output", {"--output", "shots/f-%05d.png"},
                 [](RenderOptions& o) { o.output.kind = OutputKind::Sequence, o.output.path = "shots/f-%05d.png"; })),
    CaseLabel());

INSTANTIATE_TEST_SUITE_P(
    Flags, BadArgsTest,
    testing::Values(
        BadArgsCase{"FramesZero", {"--frames", "0"}, "--frames"},
        BadArgsCase{"FramesNegative", {"--frames", "-4"}, "--frames"},
        BadArgsCase{"FramesFraction", {"--frames", "1.5"}, "--frames"},
        BadArgsCase{"FramesOverflow", {"--frames", "99999999999"}, "--frames"},
        BadArgsCase{"FramesMissingValue", {"--frames"}, "--frames"},
        // Decimal only: no other base, no exponent.
        BadArgsCase{"FramesHex", {"--frames", "0x10"}, "--frames"},
        BadArgsCase{"FramesExponent", {"--frames", "1e3"}, "--frames"},
        BadArgsCase{"FromHex", {"--frames", "100", "--from", "0x10"}, "--from"},
        BadArgsCase{"FromOctalPrefix", {"--frames", "100", "--from", "0o7"}, "--from"},
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
        // Only a window is paced, and a window writes nothing.
        BadArgsCase{"PaceWithoutWindow", {"--pace", "30"}, "--pace"},
        // Encoder choices only for a video, and only what its encoder takes.
        BadArgsCase{"QualityForAStill", {"--quality", "20", "--output", "x.png"}, "--quality"},
        BadArgsCase{"QualityTooHighForH264", {"--quality", "52", "--output", "x.mp4"}, "--quality"},
        BadArgsCase{"QualityTooHighForVp9", {"--quality", "64", "--output", "x.webm"}, "--quality"},
        BadArgsCase{"PresetUnknown", {"--preset", "quick", "--output", "x.mp4"}, "--preset"},
        BadArgsCase{"LosslessMp4", {"--lossless", "--output", "x.mp4"}, "--lossless"},
        BadArgsCase{"LosslessWithQuality", {"--lossless", "--quality", "3", "--output", "x.mkv"}, "--quality"},
        BadArgsCase{"ResumeAStill", {"--resume", "--output", "x.png"}, "--resume"},
        BadArgsCase{"ResumeAndRecord", {"--resume", "--record", "r.flight", "--output", "f-%d.png"}, "--resume"},
        BadArgsCase{"RawAfterTheLastFrame", {"--frames", "3", "--raw", "5-9"}, "--raw"},
        BadArgsCase{"WindowWithOutput", {"--window", "--output", "x.png"}, "--window"},
        BadArgsCase{"WindowWithBench", {"--bench", "--window"}, "--window"},
        BadArgsCase{"UnknownFlag", {"--fps", "30"}, "--fps"}),
    CaseLabel());

struct BenchCase {
    const char* label;
    std::vector<std::string> args;
    const char* expected;  // the line's start: frames timed, size, filter
    double pixels;         // per frame
};


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
    CaseLabel());

}  // namespace
