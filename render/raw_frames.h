// Space "held" by numbers, for hosts without a keyboard: frames first..last (1-based,
// inclusive) are drawn raw, as if Space were held while they render.
#pragma once

#include "render/frame_host.h"

struct RawFrames {
    int first = 0;  // 0: no frame is raw
    int last = 0;
    int current = 0;  // the number of the frame being rendered, kept by the host
};

// A PlatformAnswers::spaceHeld for a context that is a RawFrames.
inline bool rawFrameHeld(void* context) {
    const RawFrames* raw = static_cast<const RawFrames*>(context);
    return raw->current >= raw->first && raw->current <= raw->last;
}

// What a platform without a keyboard or clock answers: Space as raw says, no frame-rate line.
inline PlatformAnswers rawFramesAnswers(RawFrames* raw) {
    PlatformAnswers platform;
    platform.context = raw;
    platform.spaceHeld = rawFrameHeld;
    return platform;
}
