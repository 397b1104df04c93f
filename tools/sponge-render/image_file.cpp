#include "tools/sponge-render/image_file.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "tools/sponge-render/whole_file.h"

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
bool writePng(FILE* file, const uint32_t* pixels, int width, int height, const std::vector<png_text>& text,
              std::string* reason) {
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
    if (!text.empty()) png_set_text(png, info, text.data(), static_cast<int>(text.size()));
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
                    int height, std::string* error, const ImageText& text) {
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
    std::vector<png_text> chunks;
    for (const auto& [key, value] : text) {
        png_text chunk = {};
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = const_cast<char*>(key.c_str());
        chunk.text = const_cast<char*>(value.c_str());
        chunk.text_length = value.size();
        chunks.push_back(chunk);
    }
    errno = 0;
    bool ok = format == ImageFormat::Ppm ? writePpm(file, pixels, width, height)
                                         : writePng(file, pixels, width, height, chunks, &reason);
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

namespace {

bool readPpm(const std::string& bytes, ImageRead* image) {
    int width = 0, height = 0, maxval = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &maxval, &consumed) != 3 || maxval != 255 ||
        width < 1 || height < 1 || consumed < 1 || !std::isspace(static_cast<unsigned char>(bytes[consumed]))) {
        return false;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (bytes.size() != static_cast<size_t>(consumed) + 1 + 3 * count) return false;
    const unsigned char* rgb = reinterpret_cast<const unsigned char*>(bytes.data()) + consumed + 1;
    image->width = width;
    image->height = height;
    image->pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        image->pixels[i] = uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
    }
    return true;
}

struct PngSource {
    const std::string* bytes;
    size_t at;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->bytes->size() - source->at < length) png_error(png, "the file ends early");
    std::memcpy(out, source->bytes->data() + source->at, length);
    source->at += length;
}

// libpng reports errors by longjmp back to the setjmp here. What changes after it (the row
// pointers) lives on the heap behind a pointer set before it, so that nothing the jump
// returns to has changed in a register.
bool readPng(const std::string& bytes, ImageRead* image, std::string* reason) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, reason, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_infop end = png_create_info_struct(png);
    PngSource source{&bytes, 0};
    const std::unique_ptr<std::vector<png_bytep>> rowsHeld = std::make_unique<std::vector<png_bytep>>();
    std::vector<png_bytep>& rows = *rowsHeld;
    bool ok = false;
    if (info && end && !setjmp(png_jmpbuf(png))) {
        png_set_read_fn(png, &source, readFromMemory);
        png_read_info(png, info);
        const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
        if (png_get_bit_depth(png, info) != 8 || png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB ||
            png_get_interlace_type(png, info) != PNG_INTERLACE_NONE || width > 16384 || height > 16384) {
            png_error(png, "not an 8-bit RGB image of this program's");
        }
        image->width = static_cast<int>(width);
        image->height = static_cast<int>(height);
        image->pixels.assign(static_cast<size_t>(width) * height, 0);
        // Back to 0x00RRGGBB words: a filler byte after B, G, R in little-endian memory.
        png_set_filler(png, 0, PNG_FILLER_AFTER);
        png_set_bgr(png);
        rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) {
            rows[y] = reinterpret_cast<png_bytep>(image->pixels.data() + static_cast<size_t>(y) * width);
        }
        png_read_image(png, rows.data());
        png_read_end(png, end);
        for (png_infop part : {info, end}) {
            png_textp text = nullptr;
            const int count = png_get_text(png, part, &text, nullptr);
            for (int i = 0; i < count; ++i) image->text.emplace_back(text[i].key, text[i].text ? text[i].text : "");
        }
        ok = true;
    }
    png_destroy_read_struct(&png, &info, &end);
    return ok;
}

}  // namespace

bool readImageFile(const std::string& path, ImageRead* image, std::string* error) {
    // No image of this program's is larger than a 16384 x 16384 PPM.
    std::string bytes;
    if (!readWholeFile(path, 3LL * 16384 * 16384 + 64, &bytes, error)) return false;
    ImageRead read;
    std::string reason;
    const bool ok = bytes.compare(0, 2, "P6") == 0 ? readPpm(bytes, &read) : readPng(bytes, &read, &reason);
    if (!ok) {
        *error = reason.empty() ? "it does not decode whole" : "it does not decode whole: " + reason;
        return false;
    }
    *image = std::move(read);
    return true;
}
