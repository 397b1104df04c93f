// YUV4MPEG2, the uncompressed stream ffmpeg and most players read without help: 4:2:0 with
// chroma centred between each 2x2 block of pixels (C420jpeg), BT.601 colours in limited
// range (Y 16-235, Cb and Cr 16-240), 60 frames per second, square pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string y4mHeader(int width, int height);

// Appends "FRAME\n" and the Y, Cb and Cr planes of one frame of 0x00RRGGBB pixels. Odd
// sizes round the chroma planes up, the last chroma sample covering the edge pixels alone.
void appendY4mFrame(const uint32_t* pixels, int width, int height, std::vector<unsigned char>* out);

// Bytes of one frame including its "FRAME\n" line.
size_t y4mFrameBytes(int width, int height);
