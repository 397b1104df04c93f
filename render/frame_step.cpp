#include "render/frame_step.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/fast_path.h"
#include "render/float_to_int.h"
#include "render/frame_host.h"
#include "render/frame_rate.h"
#include "render/render_path.h"
#include "render/traverse.h"

float animationTime = 0.0f;

FramePose framePose(float t, int width, int height) {
    FramePose pose;
    const float a = t * 0.1f;
    pose.view.camera[0] = std::cos(t * 0.3f) * 0.14f + 0.5f;
    pose.view.camera[1] = std::sin(t * 0.14f - 0.1f) + (t * 2.0f) * 0.14f;
    pose.view.camera[2] = std::sin(t * 0.2f) * 0.14f + 0.5f;
    pose.view.sinA = std::sin(a);
    pose.view.cosA = std::cos(a);
    pose.singleAxis = truncToInt32(t) % 30 >= 22 ? 1 : 0;
    pose.view.aspect = static_cast<float>(width) / static_cast<float>(height);
    return pose;
}

int renderFrame(PixelBuffer pixels, int width, int height) {
    const FrameHost& host = frameHost();
    animationTime = animationTime + CLOCK_STEP;
    const FramePose pose = framePose(animationTime, width, height);
    singleAxisStep = pose.singleAxis;

    const float vstep = 2.0f / static_cast<float>(height);
    float v = -1.0f;
    const int blendEnabled = host.spaceHeld && host.spaceHeld() ? 0 : 1;

    if (renderPath() == RenderPath::Plain) {
        for (int row = 0; row < height; ++row) {
#pragma omp parallel
            shadeRowColumns(row, blendEnabled, v, pose.view, pixels, width);
            v = v + vstep;  // accumulated, not row * vstep: the rounding differs
        }
    } else {
        // The same v sequence, worked out before the one parallel region of the frame,
        // and the u of every column, the same in every row. Kept between frames so that
        // only a larger frame allocates.
        static std::vector<float> rowV, columnU;
        if (rowV.size() < static_cast<size_t>(std::max(height, 0))) rowV.resize(static_cast<size_t>(height));
        for (int row = 0; row < height; ++row) {
            rowV[static_cast<size_t>(row)] = v;
            v = v + vstep;
        }
        // Whole vectors are read past the last column.
        const size_t columns = static_cast<size_t>(std::max(width, 0)) + FAST_COLUMN_PAD;
        if (columnU.size() < columns) columnU.resize(columns);
        for (int c = 0; c < width; ++c) columnU[static_cast<size_t>(c)] = eyeRayU(c, width, pose.view);
        shadeFrameFast(
            {pixels, width, height, blendEnabled, pose.singleAxis, pose.view, rowV.data(), columnU.data()});
    }

    if (blendEnabled && host.trailFilter) host.trailFilter(pixels, width, height);
    reportFrameRate(host.clockMs, host.reportLine);
    return 0;
}

void resetFrameState() {
    animationTime = 0.0f;
    singleAxisStep = 0;
    resetFrameRateReport();
}
