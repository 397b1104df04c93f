#include "flight/free_flight.h"

#include <algorithm>

#include "render/correct_trig.h"
#include "render/frame_step.h"
#include "render/shade_row.h"

namespace {

bool held(const FlightInput& input, FlightControl control) { return (input.controls >> control & 1u) != 0; }

// +1, -1 or 0 for a pair of opposite controls.
float axis(const FlightInput& input, FlightControl plus, FlightControl minus) {
    return static_cast<float>(static_cast<int>(held(input, plus)) - static_cast<int>(held(input, minus)));
}

bool takesTheCamera(const FlightInput& input) {
    const uint32_t moving = (1u << FLY_FORWARD) | (1u << FLY_BACK) | (1u << FLY_LEFT) | (1u << FLY_RIGHT) |
                            (1u << FLY_DOWN) | (1u << FLY_UP) | (1u << TURN_LEFT) | (1u << TURN_RIGHT) |
                            (1u << TURN_UP) | (1u << TURN_DOWN) | (1u << TOGGLE_SINGLE_AXIS);
    return (input.controls & moving) != 0 || input.dragX != 0 || input.dragY != 0;
}

}  // namespace

FreeFlight startFreeFlight(const CameraPose& pose) {
    FreeFlight flight;
    flight.pose = pose;
    return flight;
}

CameraPose flyFrame(FreeFlight* flight, const FlightInput& input, float t, float aspect) {
    if (held(input, GIVE_BACK)) flight->steering = false;
    flight->speedLevel = std::clamp(flight->speedLevel + input.wheel, -FASTEST_LEVEL, FASTEST_LEVEL);
    if (!flight->steering) {
        flight->pose = framePose(t);
        if (!takesTheCamera(input)) return flight->pose;
        flight->steering = true;
    }
    CameraPose& pose = flight->pose;
    if (held(input, TOGGLE_SINGLE_AXIS)) pose.singleAxis = pose.singleAxis != 0 ? 0 : 1;

    // The first angle turns the view left and right on the frame. The second turns it up and
    // down while the view faces away from axis 1 and the other way while it faces back.
    const float yaw = TURN_STEP * axis(input, TURN_RIGHT, TURN_LEFT) + DRAG_TURN * static_cast<float>(input.dragX);
    const float pitch = TURN_STEP * axis(input, TURN_UP, TURN_DOWN) - DRAG_TURN * static_cast<float>(input.dragY);
    pose.angle[0] = pose.angle[0] + yaw;
    pose.angle[1] = correctCos(pose.angle[0]) < 0.0f ? pose.angle[1] - pitch : pose.angle[1] + pitch;

    // The frame's directions after the turn: towards its centre, to its right, up it.
    FrameView view = frameView(pose, 1, 1);
    view.aspect = aspect;
    float forward[3];
    eyeRayDirection(aspect - 1.0f, 0.0f, view, forward);
    const float right[3] = {-view.sin1 * view.cos2, view.cos1, view.sin1 * view.sin2};
    const float up[3] = {-view.sin2, 0.0f, -view.cos2};

    float step = FLIGHT_STEP;
    for (int level = 0; level < flight->speedLevel; ++level) step = step * 2.0f;
    for (int level = 0; level > flight->speedLevel; --level) step = step * 0.5f;
    if (held(input, FLY_FAST)) step = step * 4.0f;
    const float f = axis(input, FLY_FORWARD, FLY_BACK);
    const float r = axis(input, FLY_RIGHT, FLY_LEFT);
    const float u = axis(input, FLY_UP, FLY_DOWN);
    for (int k = 0; k < 3; ++k) pose.position[k] = pose.position[k] + ((forward[k] * f + right[k] * r) + up[k] * u) * step;
    return pose;
}
