// Where the camera is and where it looks: what one frame's picture depends on besides the
// buffer it is blended into. The fixed path of the animation is one source of poses; a
// recorded or keyframed flight and free flight are others.
#pragma once

#include <cstdint>

struct CameraPose {
    float position[3];
    // The two view rotations of the eye ray: angle[0] mixes its components 2 and 0, angle[1]
    // then mixes component 1 with the first rotation's result. The fixed path turns both by
    // the same angle.
    float angle[2];
    int32_t singleAxis;  // the frame's singleAxisStep
};

// A source of poses for the frame step: poseAt(context, t) is the pose of the frame being
// rendered, t the animation clock's value for it.
struct PoseSource {
    CameraPose (*poseAt)(void* context, float t) = nullptr;
    void* context = nullptr;
};
