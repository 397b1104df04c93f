// Free flight: the camera steered frame by frame. Every frame moves and turns it by a fixed
// amount for what is held, whatever the frame takes to render, so a flight is a pure
// function of the input of each frame and a recording of it can be rendered again exactly.
// The window host and the page both map their own events onto FlightInput.
#pragma once

#include <cstdint>

#include "render/camera_pose.h"

enum FlightControl : uint8_t {
    // Held:
    FLY_FORWARD,  // towards the centre of the frame
    FLY_BACK,
    FLY_LEFT,
    FLY_RIGHT,
    FLY_DOWN,  // along the frame's vertical
    FLY_UP,
    TURN_LEFT,
    TURN_RIGHT,
    TURN_UP,
    TURN_DOWN,
    FLY_FAST,  // four times the speed
    // Pressed in this frame:
    TOGGLE_SINGLE_AXIS,
    GIVE_BACK,  // the fixed path takes the camera again, at the current clock
};

struct FlightInput {
    uint32_t controls = 0;  // bit 1 << control for each control held or pressed
    int dragX = 0;          // pointer motion while dragging, in screen pixels: turns the view
    int dragY = 0;
    int wheel = 0;  // notches, positive away from the user: each doubles the speed (or halves it)
};

// Per frame: the distance flown at speed level 0 (the fixed path moves about 0.28 world units
// a second at its intended 60 frames a second), the turn of a held key, and the turn of one
// pixel of drag, in radians.
constexpr float FLIGHT_STEP = 0.0046666f;
constexpr float TURN_STEP = 0.025f;
constexpr float DRAG_TURN = 0.005f;
constexpr int FASTEST_LEVEL = 5;  // speed levels run from -5 to 5: 1/32 to 32 times FLIGHT_STEP

struct FreeFlight {
    CameraPose pose;
    int speedLevel = 0;
    bool steering = true;  // false: the fixed path has the camera until a control is used
};

// A free flight that starts at pose, steering.
FreeFlight startFreeFlight(const CameraPose& pose);

// The pose of the next frame, after input, at clock value t, on a frame of aspect width /
// height. While the fixed path has the camera it is the fixed path's pose at t, and any
// movement, turn, drag or X takes the camera again from there.
CameraPose flyFrame(FreeFlight* flight, const FlightInput& input, float t, float aspect);
