// What the test files share: files and folders, images, ffprobe, and the names of the
// cases of parameterised tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

// Parameterised tests take a table of cases, each a struct whose first member is
// `const char* label`. ctest and gtest name every case after its label ...
struct CaseLabel {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const {
        return info.param.label;
    }
};

// ... and print it by its label rather than as bytes. gtest finds operator<< by argument-
// dependent lookup in the namespace of the case, which is the unnamed namespace of the
// test file; this header puts the template into that very namespace of each file.
namespace {
template <class Case, class = std::enable_if_t<std::is_same_v<decltype(Case::label), const char*>>>
std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << c.label;
}
}  // namespace

// A fresh, empty folder under the tests' output folder, named after the running test.
std::string freshTestDir();

// Names of the entries of a folder, sorted.
std::vector<std::string> listDir(const std::string& dir);

std::string readFile(const std::string& path);

// The inherited environment with PATH replaced, e.g. by a folder without ffmpeg.
std::vector<std::string> environmentWithPath(const std::string& path);

// ffprobe's view of a video's first stream: "key=value" lines (codec_name, width,
// height, pix_fmt, r_frame_rate, nb_read_frames and the colour tags color_range,
// color_space, color_primaries, color_transfer). Empty when ffprobe cannot read it.
std::string probeVideo(const std::string& path);

// The value of one key in probeVideo's output, or "" when absent.
std::string probeField(const std::string& probe, const std::string& key);

// The number that follows the last occurrence of before in text, or -1.
long long numberAfterLast(const std::string& text, const std::string& before);

// An 8-bit RGB image: width x height x 3 bytes, row-major.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::string rgb;
};

// The colour bytes of 0x00RRGGBB pixels.
RgbImage rgbOf(const uint32_t* pixels, int width, int height);

// Decodes a PNG or PPM file; false if it does not decode whole.
bool readImage(const std::string& path, RgbImage* image);

// Writes image as a PNG file; false on failure.
bool writePng(const std::string& path, const RgbImage& image);
