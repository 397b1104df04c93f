// What the frame step asks of whoever hosts it. The renderer itself knows nothing of
// keyboards, clocks or consoles.
#pragma once

#include <cstdint>

#include "render/frame_job.h"
#include "render/render_path.h"
#include "render/types.h"

struct FrameHost {
    // Handed to every callback, so that a host answers from its own state, not from globals.
    void* context = nullptr;
    // Is Space held at the moment of the call? Sampled once per frame. Null: never.
    bool (*spaceHeld)(void* context) = nullptr;
    // Wrapping 32-bit millisecond clock of 1 ms resolution. Null: the clock stands at 0,
    // so no frame-rate line is ever due.
    uint32_t (*clockMs)(void* context) = nullptr;
    // Receives each frame-rate line, without its newline. Null: lines are dropped.
    void (*reportLine)(void* context, const char* text) = nullptr;
    // Runs after each blended frame, in the variant of the render path. Null: blended
    // frames are left unfiltered.
    const TrailFilterVariants* trailFilter = nullptr;
    RenderPath path = RenderPath::Fast;
    // Kept between frames. Null: each frame gets memory of its own.
    FrameWorkspace* workspace = nullptr;
};

// Binds the host for every following renderFrame call.
void bindFrameHost(const FrameHost& host);

// The bound host (one with every member at its default until bindFrameHost).
const FrameHost& frameHost();
