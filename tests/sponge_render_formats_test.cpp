// What sponge-render writes, byte for byte and argument for argument, called in process:
// the Y4M conversion, the ffmpeg command line, the names and texts it shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tools/sponge-render/frame_output.h"
#include "tools/sponge-render/output_target.h"
#include "tools/sponge-render/progress.h"
#include "tools/sponge-render/render_run.h"
#include "tools/sponge-render/y4m.h"

namespace {

constexpr uint32_t R = 0xFF0000u, G = 0x00FF00u, B = 0x0000FFu, W = 0xFFFFFFu, K = 0x000000u;

struct Y4mCase {
    const char* label;
    int width, height;
    std::vector<uint32_t> pixels;
    std::vector<int> y, cb, cr;  // the planes, exactly
};

class Y4mBytesTest : public testing::TestWithParam<Y4mCase> {};

// Y = ((66 R + 129 G + 25 B + 128) >> 8) + 16 per pixel; Cb and Cr from the sums of each
// 2 x 2 block, ((-38 R - 74 G + 112 B + 512) >> 10) + 128 and
// ((112 R - 94 G - 18 B + 512) >> 10) + 128. A block cut by an odd edge repeats the edge.
TEST_P(Y4mBytesTest, PlanesHoldTheBt601LimitedRangeValues) {
    const Y4mCase& c = GetParam();
    std::vector<unsigned char> out;
    appendY4mFrame(c.pixels.data(), c.width, c.height, &out);
    std::vector<unsigned char> expected = {'F', 'R', 'A', 'M', 'E', '\n'};
    for (const std::vector<int>* plane : {&c.y, &c.cb, &c.cr}) {
        expected.insert(expected.end(), plane->begin(), plane->end());
    }
    EXPECT_EQ(out, expected);
    EXPECT_EQ(out.size(), y4mFrameBytes(c.width, c.height));
}

INSTANTIATE_TEST_SUITE_P(
    Colours, Y4mBytesTest,
    testing::Values(Y4mCase{"Black", 2, 2, {K, K, K, K}, {16, 16, 16, 16}, {128}, {128}},
                    Y4mCase{"White", 2, 2, {W, W, W, W}, {235, 235, 235, 235}, {128}, {128}},
                    // Red and blue show the luma's rounding term: without it they give 81 and 40.
                    Y4mCase{"Red", 2, 2, {R, R, R, R}, {82, 82, 82, 82}, {90}, {240}},
                    Y4mCase{"Green", 2, 2, {G, G, G, G}, {144, 144, 144, 144}, {54}, {34}},
                    Y4mCase{"Blue", 2, 2, {B, B, B, B}, {41, 41, 41, 41}, {240}, {110}},
                    // Chroma is the average of the block, not its top-left sample (90, 240).
                    Y4mCase{"MixedBlock", 2, 2, {R, R, G, B}, {82, 82, 144, 41}, {119}, {156}},
                    Y4mCase{"OddWidth", 3, 1, {R, G, B}, {82, 144, 41}, {72, 240}, {137, 110}},
                    Y4mCase{"OddHeight", 1, 3, {R, G, B}, {82, 144, 41}, {72, 240}, {137, 110}},
                    Y4mCase{"OddBoth", 3, 3, {R, G, B, G, B, R, B, R, W}, {82, 144, 41, 144, 41, 82, 41, 82, 235},
                            {110, 165, 165, 128}, {105, 175, 175, 128}}),
    CaseLabel());

TEST(Y4mHeader, SaysSizeRateSitingAndRange) {
    EXPECT_EQ(y4mHeader(241, 3), "YUV4MPEG2 W241 H3 F60:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n");
}

bool hasPair(const std::vector<std::string>& args, const std::string& flag, const std::string& value) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == flag && args[i + 1] == value) return true;
    }
    return false;
}

struct FfmpegCase {
    const char* label;
    Container container;
    const char* codec;
    const char* format;
};

class FfmpegArgumentsTest : public testing::TestWithParam<FfmpegCase> {};

// The encodes get the Y4M output's colours and say so in their tags, so that players
// decode them with the same matrix and range.
TEST_P(FfmpegArgumentsTest, RawInputBt601LimitedRangeTaggedOutput) {
    const FfmpegCase& c = GetParam();
    OutputTarget target;
    target.kind = OutputKind::Encoded;
    target.container = c.container;
    const std::vector<std::string> args = ffmpegArguments(target, 49, 35, "/tmp/x.part");
    EXPECT_TRUE(hasPair(args, "-f", "rawvideo"));
    EXPECT_TRUE(hasPair(args, "-pix_fmt", "bgr0")) << "0x00RRGGBB words in little-endian memory";
    EXPECT_TRUE(hasPair(args, "-video_size", "49x35"));
    EXPECT_TRUE(hasPair(args, "-framerate", "60"));
    EXPECT_TRUE(hasPair(args, "-i", "pipe:0"));
    EXPECT_TRUE(hasPair(args, "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2,scale=out_color_matrix=bt601:out_range=tv,"
                                     "format=yuv420p"));
    EXPECT_TRUE(hasPair(args, "-pix_fmt", "yuv420p"));
    EXPECT_TRUE(hasPair(args, "-colorspace", "smpte170m"));
    EXPECT_TRUE(hasPair(args, "-color_range", "tv"));
    EXPECT_TRUE(hasPair(args, "-color_primaries", "smpte170m"));
    EXPECT_TRUE(hasPair(args, "-color_trc", "smpte170m"));
    EXPECT_TRUE(hasPair(args, "-c:v", c.codec));
    EXPECT_TRUE(hasPair(args, "-f", c.format));
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(args[args.size() - 2], "-y");
    EXPECT_EQ(args.back(), "/tmp/x.part");
}

INSTANTIATE_TEST_SUITE_P(Containers, FfmpegArgumentsTest,
                         testing::Values(FfmpegCase{"Mp4", Container::Mp4, "libx264", "mp4"},
                                         FfmpegCase{"Mkv", Container::Mkv, "libx264", "matroska"},
                                         FfmpegCase{"Webm", Container::Webm, "libvpx-vp9", "webm"}),
                         CaseLabel());

// The encoder choices reach ffmpeg: quality as the CRF, x264's preset names (for VP9 as
// libvpx's deadline and speed), and lossless as FFV1 in RGB without any conversion.
TEST(FfmpegArguments, EncoderChoices) {
    OutputTarget target;
    target.kind = OutputKind::Encoded;
    target.container = Container::Mkv;
    target.encoder.quality = 23;
    target.encoder.preset = "veryfast";
    std::vector<std::string> args = ffmpegArguments(target, 8, 6, "x");
    EXPECT_TRUE(hasPair(args, "-crf", "23"));
    EXPECT_TRUE(hasPair(args, "-preset", "veryfast"));
    target.container = Container::Webm;
    for (const auto& [preset, deadline, speed] : std::vector<std::array<const char*, 3>>{
             {"", "good", "4"}, {"medium", "good", "4"}, {"ultrafast", "realtime", "8"}, {"placebo", "best", "0"}}) {
        target.encoder.preset = preset;
        args = ffmpegArguments(target, 8, 6, "x");
        EXPECT_TRUE(hasPair(args, "-deadline", deadline)) << preset;
        EXPECT_TRUE(hasPair(args, "-cpu-used", speed)) << preset;
    }
    target.container = Container::Mkv;
    target.encoder = EncoderChoice{};
    target.encoder.lossless = true;
    args = ffmpegArguments(target, 8, 6, "x");
    EXPECT_TRUE(hasPair(args, "-c:v", "ffv1"));
    EXPECT_TRUE(hasPair(args, "-pix_fmt", "bgr0"));
    EXPECT_EQ(std::find(args.begin(), args.end(), "-vf"), args.end()) << "no conversion";
    // The trial encodes one frame of the size into nothing.
    target.encoder = EncoderChoice{};
    args = ffmpegTrialArguments(target, 640, 360);
    EXPECT_TRUE(hasPair(args, "-i", "color=c=black:s=640x360:r=60,format=bgr0"));
    EXPECT_TRUE(hasPair(args, "-frames:v", "1"));
    EXPECT_TRUE(hasPair(args, "-c:v", "libx264"));
    EXPECT_EQ(std::vector<std::string>(args.end() - 3, args.end()), (std::vector<std::string>{"-f", "null", "-"}));
}

TEST(OutputNames, SequenceNumbersAndOutcome) {
    OutputTarget target;
    std::string error;
    ASSERT_TRUE(parseOutputTarget("shots/f-%05d.png", &target, &error)) << error;
    EXPECT_EQ(sequenceFileName(target, 42), "shots/f-00042.png");
    EXPECT_EQ(sequenceFileName(target, 1234567), "shots/f-1234567.png");
    EXPECT_EQ(outcomeText(target, 10, 12), "wrote shots/f-00010.png to shots/f-00012.png");
    EXPECT_EQ(outcomeText(target, 10, 10), "wrote shots/f-00010.png");
    EXPECT_EQ(outcomeText(target, 10, 9), "nothing written");
    ASSERT_TRUE(parseOutputTarget("-", &target, &error));
    EXPECT_EQ(outcomeText(target, 1, 30), "wrote frames 1-30 to standard output");
    ASSERT_TRUE(parseOutputTarget("fly.MKV", &target, &error));
    EXPECT_EQ(target.kind, OutputKind::Encoded);
    EXPECT_EQ(target.container, Container::Mkv);
    EXPECT_EQ(outcomeText(target, 5, 30), "wrote frames 5-30 to fly.MKV");
}

TEST(ProgressText, LineSummaryAndDurations) {
    EXPECT_EQ(progressText(12, 40, 0.5), "frame 12/40   30%  24.0 fps  0:01 left");
    EXPECT_EQ(progressText(0, 40, 0.0), "frame 0/40    0%  0.0 fps  ? left");
    EXPECT_EQ(summaryText(40, 40, 2.0, "wrote x.png"), "40 of 40 frames in 0:02 (20.0 fps), wrote x.png");
    EXPECT_EQ(summaryText(3, 40, 0.0, ""), "3 of 40 frames in 0:00 (0.0 fps)");
    EXPECT_EQ(formatDuration(3723.4), "1:02:03");
    EXPECT_EQ(formatDuration(59.6), "1:00");
    EXPECT_EQ(formatDuration(-3.0), "0:00");
}

TEST(BenchText, OneRayPerPixel) {
    RenderOptions options;
    options.width = 100;
    options.height = 50;
    EXPECT_EQ(benchLine(options, 300, 2.0, 2, "AVX2"),
              "frames 300  size 100x50  filter cross  seconds 2.000  fps 150.00  Mrays/s 0.750  threads 2  path AVX2");
}

}  // namespace
