// Space "held" by numbers, for hosts without a keyboard: frames first..last (1-based,
// inclusive) are drawn raw, as if Space were held while they render.
#pragma once

#include "render/frame_host.h"
#include "render/frame_job.h"
#include "render/render_path.h"
#include "render/types.h"

struct RawFrames {
    int first = 0;  // 0: no frame is raw
    int last = 0;
    int current = 0;  // the number of the frame being rendered, kept by the host
};

// A FrameHost::spaceHeld for a context that is a RawFrames.
inline bool rawFrameHeld(void* context) {
    const RawFrames* raw = static_cast<const RawFrames*>(context);
    return raw->current >= raw->first && raw->current <= raw->last;
}

// The FrameHost of a program that renders without a keyboard or clock: Space as raw says,
// the filter, the path and the workspace; no frame-rate line.
inline FrameHost rawFramesHost(RawFrames* raw, const TrailFilterVariants* filter, RenderPath path,
                               FrameWorkspace* workspace) {
    FrameHost host;
    host.context = raw;
    host.spaceHeld = rawFrameHeld;
    host.trailFilter = filter;
    host.path = path;
    host.workspace = workspace;
    return host;
}
