#include "render/frame_step.h"

#include "render/correct_trig.h"
#include "render/fast_path.h"
#include "render/float_to_int.h"
#include "render/frame_rate.h"
#include "render/shade_row.h"
#include "render/traverse.h"

float animationTime = 0.0f;

PoseArguments poseArguments(float t) { return {t * 0.3f, t * 0.14f - 0.1f, t * 0.2f, t * 0.1f}; }

CameraPose framePose(float t) {
    CameraPose pose;
    const PoseArguments x = poseArguments(t);
    pose.position[0] = correctCos(x.camera0) * 0.14f + 0.5f;
    pose.position[1] = correctSin(x.camera1) + (t * 2.0f) * 0.14f;
    pose.position[2] = correctSin(x.camera2) * 0.14f + 0.5f;
    pose.angle[0] = x.view;
    pose.angle[1] = x.view;
    pose.singleAxis = truncToInt32(t) % 30 >= 22 ? 1 : 0;
    return pose;
}

CameraPose fixedPathPose(void*, float t) { return framePose(t); }

int renderFrameWith(const PlatformAnswers& platform, const RenderSetup& setup, PixelBuffer pixels, int width,
                    int height) {
    animationTime = animationTime + CLOCK_STEP;
    const CameraPose pose =
        setup.poses.poseAt ? setup.poses.poseAt(setup.poses.context, animationTime) : framePose(animationTime);
    singleAxisStep = pose.singleAxis;
    const int blendEnabled = platform.spaceHeld && platform.spaceHeld(platform.context) ? 0 : 1;
    const FrameJob job{pixels, width, height, blendEnabled, pose.singleAxis, frameView(pose, width, height)};

    FrameWorkspace ownWorkspace;
    FrameWorkspace& workspace = setup.workspace ? *setup.workspace : ownWorkspace;
    // The one place where the path decides which code runs, for the rows and the filter.
    const bool plain = setup.path == RenderPath::Plain;
    const FrameShader shade = plain ? shadeFramePlain : shadeFrameFast;
    shade(job, workspace);
    if (blendEnabled && setup.trailFilter) {
        if (plain) {
            setup.trailFilter->plain(pixels, width, height);
        } else {
            setup.trailFilter->fast(pixels, width, height, workspace.trail);
        }
    }
    reportFrameRate(platform);
    return 0;
}

int renderFrame(PixelBuffer pixels, int width, int height) {
    return renderFrameWith(boundPlatform(), boundSetup(), pixels, width, height);
}

float clockAfter(int frames) {
    float t = 0.0f;
    for (int i = 0; i < frames; ++i) t = t + CLOCK_STEP;
    return t;
}

void resetFrameState() {
    animationTime = 0.0f;
    singleAxisStep = 0;
    resetFrameRateReport();
}
