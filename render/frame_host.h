// What the frame step needs from whoever hosts it, as two records: what the platform answers
// (keys, clock, where the frame-rate line goes) and how to render (filter, code path, working
// memory). The renderer itself knows nothing of keyboards, clocks or consoles.
#pragma once

#include <cstdint>

#include "render/camera_pose.h"
#include "render/frame_job.h"
#include "render/render_path.h"
#include "render/types.h"

// The renderer's questions to the platform it runs on, each answered by a callback that gets
// the context, so that a host answers from its own state, not from globals.
struct PlatformAnswers {
    void* context = nullptr;
    // Is Space held at the moment of the call? Sampled once per frame. Null: never.
    bool (*spaceHeld)(void* context) = nullptr;
    // Wrapping 32-bit millisecond clock of 1 ms resolution. Null: the clock stands at 0,
    // so no frame-rate line is ever due.
    uint32_t (*clockMs)(void* context) = nullptr;
    // Receives each frame-rate line, without its newline. Null: lines are dropped.
    void (*reportLine)(void* context, const char* text) = nullptr;
};

// How a program renders, chosen by the program and never asked of the platform.
struct RenderSetup {
    // Runs after each blended frame, in the variant of the render path. Null: blended
    // frames are left unfiltered.
    const TrailFilterVariants* trailFilter = nullptr;
    RenderPath path = RenderPath::Fast;
    // Kept between frames. Null: each frame gets memory of its own.
    FrameWorkspace* workspace = nullptr;
    // Where the camera is. None: the fixed path of the animation.
    PoseSource poses;
};

inline RenderSetup renderSetup(const TrailFilterVariants* trailFilter, RenderPath path, FrameWorkspace* workspace,
                               PoseSource poses = {}) {
    RenderSetup setup;
    setup.trailFilter = trailFilter;
    setup.path = path;
    setup.workspace = workspace;
    setup.poses = poses;
    return setup;
}

// Binds the two for every following renderFrame call.
void bindFrameHost(const PlatformAnswers& platform, const RenderSetup& setup);

// The bound records (every member at its default until bindFrameHost).
const PlatformAnswers& boundPlatform();
const RenderSetup& boundSetup();
