// One frame: clock, camera path, per-frame switches, shading, trail filter, report.
#pragma once

#include <cstdint>

#include "render/frame_host.h"
#include "render/frame_job.h"
#include "render/types.h"

// The animation clock, advanced by 0.016666 per frame and never recomputed.
extern float animationTime;

constexpr float CLOCK_STEP = 0.016666f;

// What framePose takes the sine or cosine of at clock value t.
struct PoseArguments {
    float camera0;  // t x 0.3, its cosine
    float camera1;  // t x 0.14 - 0.1, its sine
    float camera2;  // t x 0.2, its sine
    float view;     // the view angle t x 0.1, its sine and cosine
};
PoseArguments poseArguments(float t);

// The fixed path: camera, view angle (both view rotations turn by it) and single-axis flag
// at clock value t. The sines and cosines are the correctly rounded ones, so the pose is the
// same on every platform.
CameraPose framePose(float t);

// framePose as a PoseSource, for hosts that pass the fixed path on to others (a recorder).
CameraPose fixedPathPose(void* unused, float t);

// Draws the next frame of the animation into pixels: advances the clock, takes the pose from
// setup.poses (the fixed path when it has none), asks the platform whether Space is held,
// shades every pixel on setup.path, runs the trail filter after a blended frame and counts
// the frame for the frame-rate line.
int renderFrameWith(const PlatformAnswers& platform, const RenderSetup& setup, PixelBuffer pixels, int width,
                    int height);

// The FrameCallback: renderFrameWith the records bound with bindFrameHost.
int renderFrame(PixelBuffer pixels, int width, int height);

// The clock after frames frames: the step added once a frame, in single precision, as the
// frames add it (so that a run can go on from a frame as if it had rendered those before).
float clockAfter(int frames);

// Back to the first frame: clock, single-axis flag and frame-rate interval.
void resetFrameState();
