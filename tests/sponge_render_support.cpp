#include "tests/sponge_render_support.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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

std::string probeVideo(const std::string& path) {
    const ProgramResult r = runProgram("/usr/bin/env", {"ffprobe", "-v", "error", "-count_frames", "-select_streams",
                                                        "v:0", "-show_entries",
                                                        "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames",
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

std::vector<std::string> environmentWithPath(const std::string& path) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "PATH=", 5) != 0) env.push_back(*e);
    }
    env.push_back("PATH=" + path);
    return env;
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

bool decodeImage(const std::string& path, int* width, int* height) {
    const std::string bytes = readFile(path);
    if (bytes.compare(0, 2, "P6") == 0) {
        int w = 0, h = 0, maxval = 0, consumed = 0;
        if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &consumed) != 3 || maxval != 255) return false;
        if (bytes.size() != static_cast<size_t>(consumed) + 1 + static_cast<size_t>(w) * h * 3) return false;
        *width = w;
        *height = h;
        return true;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return false;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return true;
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
