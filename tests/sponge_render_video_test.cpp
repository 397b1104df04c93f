// Videos: the Y4M stream (file and standard output) and the ffmpeg encodes, checked by
// reading them back with ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/test_support.h"

namespace {

size_t y4mFrameSize(int w, int h) {
    return 6 + static_cast<size_t>(w) * h + 2 * static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2);
}

std::string y4mHeaderFor(int w, int h) {
    return "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) +
           " F60:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n";
}

struct Y4mCase {
    const char* label;
    int width, height;
    std::vector<std::string> frameArgs;
    int frames;  // expected in the stream
};


class Y4mTest : public testing::TestWithParam<Y4mCase> {};

TEST_P(Y4mTest, HeaderFramesAndWhatFfprobeReads) {
    const Y4mCase& c = GetParam();
    const std::string dir = freshTestDir();
    const std::string file = dir + "/fly.y4m";
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    std::vector<std::string> args = {"--size", size, "--output", file};
    args.insert(args.end(), c.frameArgs.begin(), c.frameArgs.end());
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"fly.y4m"});

    const std::string bytes = readFile(file);
    const std::string header = y4mHeaderFor(c.width, c.height);
    ASSERT_EQ(bytes.compare(0, header.size(), header), 0) << bytes.substr(0, 80);
    ASSERT_EQ(bytes.size(), header.size() + c.frames * y4mFrameSize(c.width, c.height));
    for (int i = 0; i < c.frames; ++i) {
        EXPECT_EQ(bytes.compare(header.size() + i * y4mFrameSize(c.width, c.height), 6, "FRAME\n"), 0) << i;
    }

    const std::string probe = probeVideo(file);
    EXPECT_EQ(probeField(probe, "nb_read_frames"), std::to_string(c.frames)) << probe;
    EXPECT_EQ(probeField(probe, "width"), std::to_string(c.width));
    EXPECT_EQ(probeField(probe, "height"), std::to_string(c.height));
    EXPECT_EQ(probeField(probe, "r_frame_rate"), "60/1");
    EXPECT_EQ(probeField(probe, "pix_fmt"), "yuv420p");
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Y4mTest,
    testing::Values(Y4mCase{"Even", 40, 30, {"--frames", "4"}, 4},
                    Y4mCase{"OddSidesRoundChromaUp", 41, 31, {"--frames", "3"}, 3},
                    Y4mCase{"FromSkipsEarlyFrames", 40, 30, {"--frames", "12", "--from", "10"}, 3},
                    Y4mCase{"OnePixel", 1, 1, {"--frames", "2"}, 2}),
    CaseLabel());

TEST(Y4mStream, StandardOutputCarriesExactlyTheStream) {
    const std::string dir = freshTestDir();
    const std::vector<std::string> common = {"--size", "40x30", "--frames", "5", "--from", "2"};
    std::vector<std::string> toFile = common, toPipe = common;
    toFile.insert(toFile.end(), {"--output", dir + "/fly.y4m"});
    toPipe.insert(toPipe.end(), {"--output", "-"});
    ASSERT_EQ(runProgram(SPONGE_RENDER_PATH, toFile).status, 0);
    const ProgramResult r = runProgram(SPONGE_RENDER_PATH, toPipe);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.size(), y4mHeaderFor(40, 30).size() + 4 * y4mFrameSize(40, 30));
    EXPECT_TRUE(r.out == readFile(dir + "/fly.y4m"));
}

TEST(Y4mStream, FullDiskIsReportedWithItsReason) {
    ProgramSession session;
    session.args = {"--size", "40x30", "--frames", "3", "--output", "-"};
    session.stdoutFile = "/dev/full";
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
}

// Decoded back to RGB, the stream shows the rendered picture: the planes are in their
// places and the colour matrix is the right way round (a red/blue swap or a lost offset
// moves the channel averages by far more than chroma subsampling and rounding do).
TEST(Y4mStream, DecodesToTheRenderedColours) {
    const std::string dir = freshTestDir();
    const std::vector<std::string> common = {"--size", "64x48", "--frames", "300"};
    std::vector<std::string> still = common, video = common;
    still.insert(still.end(), {"--output", dir + "/still.ppm"});
    video.insert(video.end(), {"--from", "300", "--output", dir + "/fly.y4m"});
    ASSERT_EQ(runProgram(SPONGE_RENDER_PATH, still).status, 0);
    ASSERT_EQ(runProgram(SPONGE_RENDER_PATH, video).status, 0);
    const ProgramResult decoded =
        runProgram("/usr/bin/env", {"ffmpeg", "-v", "error", "-i", dir + "/fly.y4m", "-f", "rawvideo", "-pix_fmt",
                                    "rgb24", "-"});
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    const std::string ppm = readFile(dir + "/still.ppm");
    const size_t n = 64 * 48 * 3;
    ASSERT_EQ(decoded.out.size(), n);
    ASSERT_GE(ppm.size(), n);
    const std::string rgb = ppm.substr(ppm.size() - n);
    double sumExpected[3] = {}, sumDecoded[3] = {}, absDiff = 0;
    for (size_t i = 0; i < n; ++i) {
        const int e = static_cast<unsigned char>(rgb[i]), d = static_cast<unsigned char>(decoded.out[i]);
        sumExpected[i % 3] += e;
        sumDecoded[i % 3] += d;
        absDiff += std::abs(e - d);
    }
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_NEAR(sumDecoded[ch] / (n / 3), sumExpected[ch] / (n / 3), 3.0) << "channel " << ch;
    }
    EXPECT_LT(absDiff / n, 4.0);
}

struct EncodeCase {
    const char* label;
    const char* file;
    const char* size;
    const char* codec;
    const char* width;  // as encoded: odd sides are padded to even
    const char* height;
};


class EncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, FfmpegWritesEveryFrameAt60Fps) {
    const EncodeCase& c = GetParam();
    const std::string dir = freshTestDir();
    const std::string file = dir + "/" + c.file;
    const ProgramResult r =
        runProgram(SPONGE_RENDER_PATH, {"--size", c.size, "--frames", "20", "--from", "8", "--output", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(listDir(dir), std::vector<std::string>{c.file});
    const std::string probe = probeVideo(file);
    EXPECT_EQ(probeField(probe, "nb_read_frames"), "13") << probe;
    EXPECT_EQ(probeField(probe, "codec_name"), c.codec);
    EXPECT_EQ(probeField(probe, "r_frame_rate"), "60/1");
    EXPECT_EQ(probeField(probe, "pix_fmt"), "yuv420p");
    EXPECT_EQ(probeField(probe, "width"), c.width);
    EXPECT_EQ(probeField(probe, "height"), c.height);
    // The colours as the file itself says them: BT.601, limited range.
    EXPECT_EQ(probeField(probe, "color_range"), "tv") << probe;
    EXPECT_EQ(probeField(probe, "color_space"), "smpte170m") << probe;
    EXPECT_EQ(probeField(probe, "color_primaries"), "smpte170m") << probe;
    EXPECT_EQ(probeField(probe, "color_transfer"), "smpte170m") << probe;
}

INSTANTIATE_TEST_SUITE_P(Containers, EncodeTest,
                         testing::Values(EncodeCase{"Mp4", "fly.mp4", "48x36", "h264", "48", "36"},
                                         EncodeCase{"Mkv", "fly.mkv", "48x36", "h264", "48", "36"},
                                         EncodeCase{"Webm", "fly.webm", "48x36", "vp9", "48", "36"},
                                         EncodeCase{"Mp4OddSizePadded", "odd.mp4", "49x35", "h264", "50", "36"}),
                         CaseLabel());

TEST(Encode, MissingFfmpegIsSaidBeforeAnyFrameIsRendered) {
    const std::string dir = freshTestDir();  // empty: no ffmpeg in it
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "1000", "--output", dir + "/fly.mp4"};
    session.replaceEnvironment = true;
    session.environment = environmentWithPath(dir);
    session.stderrTerminal = true;  // so a rendered frame would show on the progress line
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ffmpeg was not found"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("frame "), std::string::npos) << r.err;
    EXPECT_TRUE(listDir(dir).empty());
}

struct FailingFfmpegCase {
    const char* label;
    const char* script;  // stands in for ffmpeg
};


class FailingFfmpegTest : public testing::TestWithParam<FailingFfmpegCase> {};

TEST_P(FailingFfmpegTest, ReasonIsReportedAndNoFileLeft) {
    const std::string dir = freshTestDir();
    const std::string bin = dir + "/bin";
    const std::string out = dir + "/out";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(out);
    {
        std::ofstream script(bin + "/ffmpeg");
        script << "#!/bin/sh\n" << GetParam().script;
    }
    std::filesystem::permissions(bin + "/ffmpeg", std::filesystem::perms::owner_all);
    ProgramSession session;
    session.args = {"--size", "64x48", "--frames", "60", "--output", out + "/fly.mkv"};
    session.replaceEnvironment = true;
    session.environment = environmentWithPath(bin);
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Unknown encoder 'libx264'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("status 1"), std::string::npos) << r.err;
    EXPECT_TRUE(listDir(out).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailingFfmpegTest,
    testing::Values(
        // Gone before reading a frame: sponge-render's writes fail with a broken pipe.
        FailingFfmpegCase{"AtOnce", "echo \"Unknown encoder 'libx264'\" >&2\nexit 1\n"},
        // Reads every frame, then fails while finishing.
        FailingFfmpegCase{"AtTheEnd", "/bin/cat >/dev/null\necho \"Unknown encoder 'libx264'\" >&2\nexit 1\n"}),
    CaseLabel());

struct UnwritableCase {
    const char* label;
    const char* output;  // below the test folder, which holds a regular file "file"
    const char* reason;
};


class UnwritableTest : public testing::TestWithParam<UnwritableCase> {};

// Checked before rendering: a long render must not fail only when its first file is due.
TEST_P(UnwritableTest, FailsAtOnceNamingPathAndReason) {
    const UnwritableCase& c = GetParam();
    const std::string dir = freshTestDir();
    std::ofstream(dir + "/file") << "x";
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "1000", "--output", dir + "/" + c.output};
    session.stderrTerminal = true;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("frame "), std::string::npos) << r.err;
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"file"});
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, UnwritableTest,
    testing::Values(UnwritableCase{"StillInMissingFolder", "missing/x.png", "No such file or directory"},
                    UnwritableCase{"SequenceUnderAFile", "file/f-%d.ppm", "Not a directory"},
                    UnwritableCase{"Y4mInMissingFolder", "missing/x.y4m", "No such file or directory"},
                    UnwritableCase{"Mp4UnderAFile", "file/x.mp4", "Not a directory"},
                    UnwritableCase{"WebmInMissingFolder", "missing/x.webm", "No such file or directory"}),
    CaseLabel());

// The same for a folder without write permission. Root writes there regardless, so the
// tests, when they run as root, run sponge-render as nobody.
TEST(Unwritable, ReadOnlyFolder) {
    const std::string dir = freshTestDir();
    namespace fs = std::filesystem;
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                             fs::perms::others_exec | fs::perms::group_read | fs::perms::group_exec);
    ProgramSession session;
    session.args = {"--size", "16x12", "--frames", "3", "--output", dir + "/x.mp4"};
    session.runAsUser = geteuid() == 0 ? 65534 : 0;
    const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    EXPECT_TRUE(listDir(dir).empty());
}

// --lossless: the decoded frames are the rendered ones, byte for byte.
TEST(Encode, LosslessDecodesToTheRenderedFrames) {
    const std::string dir = freshTestDir();
    const std::vector<std::string> common = {"--size", "37x23", "--frames", "30", "--from", "21", "--filter", "quad"};
    std::vector<std::string> video = common, stills = common;
    video.insert(video.end(), {"--lossless", "--output", dir + "/exact.mkv"});
    stills.insert(stills.end(), {"--output", dir + "/f-%d.png"});
    ASSERT_EQ(runProgram(SPONGE_RENDER_PATH, video).status, 0);
    ASSERT_EQ(runProgram(SPONGE_RENDER_PATH, stills).status, 0);
    EXPECT_EQ(probeField(probeVideo(dir + "/exact.mkv"), "codec_name"), "ffv1");
    const ProgramResult decoded = runProgram("/usr/bin/env", {"ffmpeg", "-v", "error", "-i", dir + "/exact.mkv", "-f",
                                                              "rawvideo", "-pix_fmt", "rgb24", "-"});
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    const size_t frameBytes = 37 * 23 * 3;
    ASSERT_EQ(decoded.out.size(), 10 * frameBytes);
    for (int frame = 21; frame <= 30; ++frame) {
        RgbImage png;
        ASSERT_TRUE(readImage(dir + "/f-" + std::to_string(frame) + ".png", &png));
        EXPECT_EQ(decoded.out.substr(static_cast<size_t>(frame - 21) * frameBytes, frameBytes), png.rgb) << frame;
    }
}

// Checked before the first frame is rendered: what ffmpeg would refuse, and a sequence whose
// later names would be too long.
TEST(Encode, RefusedBeforeTheFirstFrame) {
    const std::string dir = freshTestDir();
    const std::string bin = dir + "/bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/ffmpeg") << "\x7f" "ELF garbage, not a program";
    std::filesystem::permissions(bin + "/ffmpeg", std::filesystem::perms::owner_all);
    const std::string longName(250, 'a');
    struct {
        std::vector<std::string> args;
        bool brokenFfmpeg;
        const char* reason;
    } cases[] = {
        {{"--size", "16384x16384", "--frames", "3", "--output", dir + "/big.mp4"}, false, "16384x16384"},
        {{"--size", "16x12", "--frames", "1500", "--from", "1500", "--output", dir + "/v.mp4"}, true, "cannot start"},
        {{"--size", "8x6", "--frames", "10", "--output", dir + "/" + longName + "%d.png"}, false, "File name too long"},
    };
    for (const auto& c : cases) {
        ProgramSession session;
        session.args = c.args;
        session.stderrTerminal = true;  // a rendered frame would show on the progress line
        if (c.brokenFfmpeg) {
            session.replaceEnvironment = true;
            session.environment = environmentWithPath(bin);
        }
        const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("frame "), std::string::npos) << r.err;
        EXPECT_EQ(listDir(dir), std::vector<std::string>{"bin"});
    }
}

// ffmpeg must be given the path as a file: a relative folder called "file:x" or
// "2024-06-01T12:30" would otherwise be read as a protocol.
TEST(Encode, FolderNamesWithAColon) {
    const std::string dir = freshTestDir();
    for (const std::string output : {"file:x/v.mp4", "2024-06-01T12:30/fly.webm"}) {
        const std::string folder = output.substr(0, output.find('/'));
        std::filesystem::create_directories(dir + "/" + folder);
        std::filesystem::create_directories(dir + "/x");
        ProgramSession session;
        session.args = {"--size", "32x24", "--frames", "3", "--output", output};
        session.workingDirectory = dir;
        const ProgramResult r = runSession(SPONGE_RENDER_PATH, session);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(probeField(probeVideo(dir + "/" + output), "nb_read_frames"), "3") << output;
        EXPECT_TRUE(listDir(dir + "/x").empty());
        EXPECT_EQ(listDir(dir + "/" + folder).size(), 1u) << output;
    }
}

}  // namespace
