#include "render/shade_row.h"

#include <cmath>

#include "render/correct_trig.h"
#include "render/float_bits.h"
#include "render/float_to_int.h"
#include "render/traverse.h"

namespace {

float clampChannel(float x) {
    if (x > 1.0f) return 1.0f;
    if (0.0f > x) return 0.0f;
    return x;  // NaN passes through
}

// trunc(channel x 255) of the exact product; the mask keeps NaN's INT32_MIN out of
// the neighbouring bytes.
uint32_t channelByte(float channel) {
    return static_cast<uint32_t>(truncToInt32(static_cast<double>(channel) * 255.0)) & 0xFFu;
}

}  // namespace

uint32_t packColour(float red, float green, float blue) {
    return channelByte(red) << 16 | channelByte(green) << 8 | channelByte(blue);
}

uint32_t blendPixel(uint32_t old, uint32_t packed) {
    const uint32_t r = (((old >> 16) & 0xFF) * 230 + ((packed >> 16) & 0xFF) * 26) >> 8;
    const uint32_t g = (((old >> 8) & 0xFF) * 210 + ((packed >> 8) & 0xFF) * 46) >> 8;
    const uint32_t b = ((old & 0xFF) * 180 + (packed & 0xFF) * 76) >> 8;
    return (old & 0xFF000000u) | r << 16 | g << 8 | b;
}

FrameView frameView(const CameraPose& pose, int width, int height) {
    FrameView view;
    view.aspect = static_cast<float>(width) / static_cast<float>(height);
    view.sin1 = correctSin(pose.angle[0]);
    view.cos1 = correctCos(pose.angle[0]);
    if (bitsOf(pose.angle[1]) == bitsOf(pose.angle[0])) {  // the fixed path: one angle, worked out once
        view.sin2 = view.sin1;
        view.cos2 = view.cos1;
    } else {
        view.sin2 = correctSin(pose.angle[1]);
        view.cos2 = correctCos(pose.angle[1]);
    }
    for (int k = 0; k < 3; ++k) view.camera[k] = pose.position[k];
    return view;
}

float eyeRayU(int c, int width, const FrameView& view) {
    return static_cast<float>(c) * view.aspect * 2.0f / static_cast<float>(width) - 1.0f;
}

void eyeRayDirection(float u, float v, const FrameView& view, float dir[3]) {
    const float inv = 1.0f / std::sqrt((u * u + v * v) + 1.0f);
    const float w0 = u * inv;
    const float w1 = inv * v;
    const float w2 = inv;

    // Two plane rotations: the first angle's mixes components 2 and 0, the second's then
    // component 1 with the first's result.
    const float A = w2 * view.cos1 - w0 * view.sin1;
    const float B = w2 * view.sin1 + w0 * view.cos1;
    const float C = w1 * view.cos2 - A * view.sin2;
    const float D = A * view.cos2 + w1 * view.sin2;
    dir[0] = D;
    dir[1] = B;
    dir[2] = C;
}

uint32_t shadePixel(int c, float v, int width, const FrameView& view) {
    float dir[3];
    eyeRayDirection(eyeRayU(c, width, view), v, view, dir);
    const float D = dir[0], B = dir[1], C = dir[2];
    const TraversalResult r = traverseSponge(view.camera[0], view.camera[1], view.camera[2], D, B, C);
    const float G = (r.exitParam * 0.4f + 0.3f) * r.distance;
    return packColour(clampChannel(D * 0.1f + G), clampChannel(B * 0.1f + G),
                      clampChannel(C * 0.1f + G));
}

void shadeRowColumns(int row, int blendEnabled, float v, const FrameView& view, PixelBuffer pixels,
                     int width) {
    if (width < 1) return;
    uint32_t* const line = pixels + static_cast<int64_t>(row) * width;
#pragma omp for schedule(dynamic, 1)
    for (int c = 0; c < width; ++c) {
        const uint32_t packed = shadePixel(c, v, width, view);
        line[c] = blendEnabled ? blendPixel(line[c], packed) : packed;
    }
}

void shadeFramePlain(const FrameJob& job, FrameWorkspace& workspace) {
    // Unused where there is no OpenMP (the browser build): the rows run on the one thread.
    [[maybe_unused]] const int threads = renderThreads(workspace);
    const float vstep = 2.0f / static_cast<float>(job.height);
    float v = -1.0f;
    for (int row = 0; row < job.height; ++row) {
#pragma omp parallel num_threads(threads)
        shadeRowColumns(row, job.blendEnabled, v, job.view, job.pixels, job.width);
        v = v + vstep;  // accumulated, not row * vstep: the rounding differs
    }
}
