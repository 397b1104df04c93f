// sponge-render run end to end as a user would.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filters/trail_filters.h"
#include "tests/frame_support.h"
#include "tests/run_program.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

class SpongeRender : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sponge-render-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    ProgramResult run(const std::vector<std::string>& args) { return runProgram(SPONGE_RENDER_PATH, args); }

    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
        return names;
    }

    std::string dir;
};

// The same frames rendered in this process, as RGB bytes.
std::string expectedRgb(int width, int height, int frames, const TrailFilterVariants* filter, RawFrames raw = {}) {
    const std::vector<uint32_t> pixels = renderLast({width, height, filter, 0.0f, frames, raw});
    return rgbOf(pixels.data(), width, height).rgb;
}

TEST_F(SpongeRender, HelpGoesToStandardOutput) {
    const ProgramResult r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--frames"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST_F(SpongeRender, UnwritablePathExitsOneAndLeavesNothing) {
    fs::create_directory(dir + "/taken.ppm");  // a directory where the file should go
    std::ofstream(dir + "/plain-file") << "x";
    const std::string cases[] = {dir + "/missing/out.ppm", dir + "/plain-file/out.png", dir + "/taken.ppm"};
    for (const std::string& path : cases) {
        const ProgramResult r = run({"--size", "4x3", "--output", path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    std::vector<std::string> names = filesInDir();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"plain-file", "taken.ppm"})) << "no partial file may stay behind";
}

TEST_F(SpongeRender, PpmHoldsTheRenderedFrame) {
    const std::string path = dir + "/frame.ppm";
    const ProgramResult r = run({"--size", "7x5", "--frames", "3", "--filter", "quad", "--output", path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(path), "P6\n7 5\n255\n" + expectedRgb(7, 5, 3, &trailFilterNamed("quad")));
}

TEST_F(SpongeRender, RawFramesAndFilterNone) {
    const std::string path = dir + "/frame.ppm";
    ASSERT_EQ(run({"--size", "9x4", "--frames", "4", "--raw", "2-3", "--filter", "none", "--output", path}).status, 0);
    EXPECT_EQ(readFile(path), "P6\n9 4\n255\n" + expectedRgb(9, 4, 4, nullptr, {2, 3, 0}));
}

TEST_F(SpongeRender, PngMatchesPpm) {
    const std::string png = dir + "/frame.PNG";
    ASSERT_EQ(run({"--size", "13x6", "--frames", "2", "--output", png}).status, 0);
    ASSERT_EQ(run({"--size", "13x6", "--frames", "2", "--output", dir + "/frame.ppm"}).status, 0);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str())) << image.message;
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u) << "8-bit RGB, no alpha";
    png_image_free(&image);
    RgbImage decoded;
    ASSERT_TRUE(readImage(png, &decoded));
    EXPECT_EQ(decoded.width, 13);
    EXPECT_EQ(decoded.height, 6);
    EXPECT_EQ("P6\n13 6\n255\n" + decoded.rgb, readFile(dir + "/frame.ppm"));
}

}  // namespace
