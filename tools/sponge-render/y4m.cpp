#include "tools/sponge-render/y4m.h"

namespace {

int red(uint32_t p) { return static_cast<int>((p >> 16) & 0xff); }
int green(uint32_t p) { return static_cast<int>((p >> 8) & 0xff); }
int blue(uint32_t p) { return static_cast<int>(p & 0xff); }

int chromaSide(int side) { return (side + 1) / 2; }

}  // namespace

std::string y4mHeader(int width, int height) {
    // XCOLORRANGE is ffmpeg's extension; without it readers assume limited range anyway,
    // but saying so keeps a re-encode from guessing.
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
           " F60:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n";
}

size_t y4mFrameBytes(int width, int height) {
    const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t chroma = static_cast<size_t>(chromaSide(width)) * static_cast<size_t>(chromaSide(height));
    return 6 + luma + 2 * chroma;
}

void appendY4mFrame(const uint32_t* pixels, int width, int height, std::vector<unsigned char>* out) {
    static const char tag[] = "FRAME\n";
    out->insert(out->end(), tag, tag + 6);

    // The usual 8-bit fixed-point BT.601 coefficients, scaled by 256 and rounded.
    size_t at = out->size();
    out->resize(at + static_cast<size_t>(width) * static_cast<size_t>(height));
    unsigned char* y = out->data() + at;
    for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i) {
        const uint32_t p = pixels[i];
        y[i] = static_cast<unsigned char>(((66 * red(p) + 129 * green(p) + 25 * blue(p) + 128) >> 8) + 16);
    }

    const int cw = chromaSide(width), ch = chromaSide(height);
    at = out->size();
    const size_t plane = static_cast<size_t>(cw) * static_cast<size_t>(ch);
    out->resize(at + 2 * plane);
    unsigned char* cb = out->data() + at;
    unsigned char* cr = cb + plane;
    for (int cy = 0; cy < ch; ++cy) {
        const int y0 = 2 * cy, y1 = y0 + 1 < height ? y0 + 1 : y0;
        for (int cx = 0; cx < cw; ++cx) {
            const int x0 = 2 * cx, x1 = x0 + 1 < width ? x0 + 1 : x0;
            const uint32_t q[4] = {pixels[static_cast<size_t>(y0) * width + x0],
                                   pixels[static_cast<size_t>(y0) * width + x1],
                                   pixels[static_cast<size_t>(y1) * width + x0],
                                   pixels[static_cast<size_t>(y1) * width + x1]};
            int r = 0, g = 0, b = 0;
            for (uint32_t p : q) {
                r += red(p);
                g += green(p);
                b += blue(p);
            }
            // Sums of four samples: the shift is two wider and the rounding term four times larger.
            const size_t i = static_cast<size_t>(cy) * cw + cx;
            cb[i] = static_cast<unsigned char>(((-38 * r - 74 * g + 112 * b + 512) >> 10) + 128);
            cr[i] = static_cast<unsigned char>(((112 * r - 94 * g - 18 * b + 512) >> 10) + 128);
        }
    }
}
