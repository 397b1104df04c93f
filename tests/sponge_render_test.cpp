// sponge-render run end to end as a user would.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "filters/quad/quad_blend.h"
#include "render/frame_host.h"
#include "render/frame_step.h"
#include "tests/run_program.h"

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

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int rawFrom = 0, rawTo = 0, frameNumber = 0;
bool spaceForRawFrames() { return frameNumber >= rawFrom && frameNumber <= rawTo; }

// The same frames rendered in this process, as RGB bytes.
std::string expectedRgb(int width, int height, int frames, TrailFilter filter, int from = 0, int to = 0) {
    resetFrameState();
    rawFrom = from;
    rawTo = to;
    bindFrameHost({spaceForRawFrames, nullptr, nullptr, filter});
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
    for (frameNumber = 1; frameNumber <= frames; ++frameNumber) renderFrame(pixels.data(), width, height);
    bindFrameHost({nullptr, nullptr, nullptr, nullptr});
    std::string rgb;
    for (uint32_t p : pixels) {
        rgb += static_cast<char>(p >> 16);
        rgb += static_cast<char>(p >> 8);
        rgb += static_cast<char>(p);
    }
    return rgb;
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
    EXPECT_EQ(readFile(path), "P6\n7 5\n255\n" + expectedRgb(7, 5, 3, quadBlendFilter));
}

TEST_F(SpongeRender, RawFramesAndFilterNone) {
    const std::string path = dir + "/frame.ppm";
    ASSERT_EQ(run({"--size", "9x4", "--frames", "4", "--raw", "2-3", "--filter", "none", "--output", path}).status, 0);
    EXPECT_EQ(readFile(path), "P6\n9 4\n255\n" + expectedRgb(9, 4, 4, nullptr, 2, 3));
}

TEST_F(SpongeRender, PngMatchesPpm) {
    const std::string png = dir + "/frame.PNG";
    ASSERT_EQ(run({"--size", "13x6", "--frames", "2", "--output", png}).status, 0);
    ASSERT_EQ(run({"--size", "13x6", "--frames", "2", "--output", dir + "/frame.ppm"}).status, 0);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str())) << image.message;
    EXPECT_EQ(image.width, 13u);
    EXPECT_EQ(image.height, 6u);
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u) << "8-bit RGB, no alpha";
    image.format = PNG_FORMAT_RGB;
    std::string rgb(PNG_IMAGE_SIZE(image), '\0');
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
    EXPECT_EQ("P6\n13 6\n255\n" + rgb, readFile(dir + "/frame.ppm"));
}

}  // namespace
