// Writing a frame to disk as PPM or PNG, all or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/sponge-render/output_file.h"

enum class ImageFormat { Ppm, Png };

// The format an output path asks for by its extension (case-insensitive); false if none.
bool imageFormatFor(const std::string& path, ImageFormat* format);

// Keyword and text pairs a PNG carries beside its pixels (a PPM carries none).
using ImageText = std::vector<std::pair<std::string, std::string>>;

// Writes width x height 0x00RRGGBB pixels as 8-bit RGB to target (see OutputFile), a PNG with
// text. On failure returns false, leaves no file behind and sets *error to the reason.
bool writeImageFile(const FileTarget& target, ImageFormat format, const uint32_t* pixels, int width,
                    int height, std::string* error, const ImageText& text = {});

// An image file as this program writes them: 8-bit RGB PNG (with its text) or binary PPM.
struct ImageRead {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
    ImageText text;
};

// Reads the image at path whole. False with *error when it cannot be read or does not decode
// to the end (a damaged or cut-off file).
bool readImageFile(const std::string& path, ImageRead* image, std::string* error);
