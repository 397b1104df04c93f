#include "tools/sponge-render/image_file.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>


namespace {

bool endsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    return std::equal(s.end() - n, s.end(), suffix,
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool writePpm(FILE* file, const uint32_t* pixels, int width, int height) {
    if (std::fprintf(file, "P6\n%d %d\n255\n", width, height) < 0) return false;
    std::vector<unsigned char> line(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            line[3 * x + 0] = static_cast<unsigned char>(src[x] >> 16);
            line[3 * x + 1] = static_cast<unsigned char>(src[x] >> 8);
            line[3 * x + 2] = static_cast<unsigned char>(src[x]);
        }
        if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) return false;
    }
    return true;
}

void pngError(png_structp png, png_const_charp message) {
    auto* reason = static_cast<std::string*>(png_get_error_ptr(png));
    *reason = message;
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp, so nothing with a destructor may live in this frame.
bool writePng(FILE* file, const uint32_t* pixels, int width, int height, std::string* reason) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, reason, pngError, pngWarning);
    if (!png) {
        *reason = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        if (reason->empty()) *reason = "out of memory";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Each 0x00RRGGBB word is B, G, R, 0 in little-endian memory: strip the filler and
    // swap to RGB, so rows go out without a copy.
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_set_bgr(png);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, reinterpret_cast<png_const_bytep>(pixels + static_cast<size_t>(y) * width));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool imageFormatFor(const std::string& path, ImageFormat* format) {
    if (endsWith(path, ".ppm")) {
        *format = ImageFormat::Ppm;
        return true;
    }
    if (endsWith(path, ".png")) {
        *format = ImageFormat::Png;
        return true;
    }
    return false;
}

bool writeImageFile(const FileTarget& target, ImageFormat format, const uint32_t* pixels, int width,
                    int height, std::string* error) {
    OutputFile out;
    if (!out.create(target, error)) return false;
    // The stream owns the descriptor from here; the OutputFile only renames or removes.
    FILE* file = fdopen(dup(out.fd()), "wb");
    out.closeDescriptor();
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    std::string reason;
    errno = 0;
    bool ok = format == ImageFormat::Ppm ? writePpm(file, pixels, width, height)
                                         : writePng(file, pixels, width, height, &reason);
    int err = ok ? 0 : errno;
    if (ok && std::fflush(file) != 0) {
        ok = false;
        err = errno;
    }
    if (ok && !target.stream && fsync(fileno(file)) != 0) {
        ok = false;
        err = errno;
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        *error = err != 0 ? std::strerror(err) : !reason.empty() ? reason : "write failed";
        return false;  // out removes the temporary file
    }
    return out.commit(error);
}
