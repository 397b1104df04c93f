// Writing a frame to disk as PPM or PNG, all or nothing.
#pragma once

#include <cstdint>
#include <string>

#include "tools/sponge-render/output_file.h"

enum class ImageFormat { Ppm, Png };

// The format an output path asks for by its extension (case-insensitive); false if none.
bool imageFormatFor(const std::string& path, ImageFormat* format);

// Writes width x height 0x00RRGGBB pixels as 8-bit RGB to target (see OutputFile). On
// failure returns false, leaves no file behind and sets *error to the reason.
bool writeImageFile(const FileTarget& target, ImageFormat format, const uint32_t* pixels, int width,
                    int height, std::string* error);
