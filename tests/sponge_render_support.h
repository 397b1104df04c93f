// Helpers for the end-to-end tests of sponge-render: fresh folders, an environment
// without ffmpeg, and reading back what it wrote.
#pragma once

#include <string>
#include <vector>

#include "tests/run_program.h"

// The inherited environment with PATH replaced, e.g. by a folder without ffmpeg.
std::vector<std::string> environmentWithPath(const std::string& path);

// A fresh, empty folder under the tests' output folder, named after the running test.
std::string freshTestDir();

// ffprobe's view of a video's first stream: "key=value" lines (codec_name, width,
// height, pix_fmt, r_frame_rate, nb_read_frames). Empty when ffprobe cannot read it.
std::string probeVideo(const std::string& path);

// The value of one key in probeVideo's output, or "" when absent.
std::string probeField(const std::string& probe, const std::string& key);

// Names of the entries of a folder, sorted.
std::vector<std::string> listDir(const std::string& dir);

std::string readFile(const std::string& path);

// Decodes a PNG or PPM file and reports its size; false if it does not decode whole.
bool decodeImage(const std::string& path, int* width, int* height);

// The number that follows the last occurrence of before in text, or -1.
long long numberAfterLast(const std::string& text, const std::string& before);
