#include "tests/test_support.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/run_program.h"

extern char** environ;

std::string freshTestDir() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    const std::filesystem::path dir = std::filesystem::path(SPONGE_TEST_OUTPUT_DIR) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> environmentWithPath(const std::string& path) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "PATH=", 5) != 0) env.push_back(*e);
    }
    env.push_back("PATH=" + path);
    return env;
}

std::string probeVideo(const std::string& path) {
    const ProgramResult r = runProgram("/usr/bin/env", {"ffprobe", "-v", "error", "-count_frames", "-select_streams",
                                                        "v:0", "-show_entries",
                                                        "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames,"
                                                        "color_range,color_space,color_primaries,color_transfer",
                                                        "-of", "default=noprint_wrappers=1", path});
    return r.status == 0 ? r.out : "";
}

std::string probeField(const std::string& probe, const std::string& key) {
    const std::string text = "\n" + probe;
    const size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return "";
    const size_t begin = at + key.size() + 2;
    const size_t end = text.find('\n', begin);
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

long long numberAfterLast(const std::string& text, const std::string& before) {
    const size_t at = text.rfind(before);
    if (at == std::string::npos) return -1;
    size_t i = at + before.size();
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
    long long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) n = n * 10 + (text[i] - '0');
    return n;
}

RgbImage rgbOf(const uint32_t* pixels, int width, int height) {
    RgbImage image{width, height, {}};
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    image.rgb.reserve(3 * n);
    for (size_t i = 0; i < n; ++i) {
        image.rgb += static_cast<char>(pixels[i] >> 16);
        image.rgb += static_cast<char>(pixels[i] >> 8);
        image.rgb += static_cast<char>(pixels[i]);
    }
    return image;
}

bool readImage(const std::string& path, RgbImage* image) {
    const std::string bytes = readFile(path);
    if (bytes.compare(0, 2, "P6") == 0) {
        int w = 0, h = 0, maxval = 0, consumed = 0;
        if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &consumed) != 3 || maxval != 255) return false;
        const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
        if (bytes.size() != static_cast<size_t>(consumed) + 1 + size) return false;
        *image = {w, h, bytes.substr(static_cast<size_t>(consumed) + 1)};
        return true;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return false;
    png.format = PNG_FORMAT_RGB;
    std::string rgb(PNG_IMAGE_SIZE(png), '\0');
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return false;
    *image = {static_cast<int>(png.width), static_cast<int>(png.height), rgb};
    return true;
}

bool writePng(const std::string& path, const RgbImage& image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr) != 0;
}
