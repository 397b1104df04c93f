// One frame's work, as the frame step hands it to a frame shader.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/camera_pose.h"
#include "render/types.h"
#include "render/worker_team.h"

// Everything a row needs that is fixed for the whole frame.
struct FrameView {
    float aspect;  // width / height
    float cos1, sin1;  // of the pose's first view angle
    float cos2, sin2;  // of its second
    float camera[3];
};

// The view of pose on a width x height frame; the sines and cosines are the correctly rounded
// ones, so the view is the same on every platform.
FrameView frameView(const CameraPose& pose, int width, int height);

struct FrameJob {
    PixelBuffer pixels;
    int width;
    int height;
    int blendEnabled;    // non-zero: blend into the previous frame; zero: overwrite
    int32_t singleAxis;  // the frame's singleAxisStep
    FrameView view;
};

// Working memory and threads of the fast path and of the trail filters' fast variants,
// kept by whoever renders frames so that only a larger frame allocates and the threads are
// started once. Nothing in it carries from one frame to the next.
struct FrameWorkspace {
    // Threads that shade a frame, the caller's included; 0: defaultRenderThreads().
    int threads = 0;
    std::vector<float> rowV;
    std::vector<float> columnU;
    std::vector<uint64_t> trail;
    std::unique_ptr<WorkerTeam> team;  // the fast path's, made on its first frame
};

// How many threads shade a frame with this workspace.
inline int renderThreads(const FrameWorkspace& workspace) {
    return workspace.threads > 0 ? workspace.threads : defaultRenderThreads();
}


// Shades every pixel of the job's buffer.
using FrameShader = void (*)(const FrameJob& job, FrameWorkspace& workspace);
