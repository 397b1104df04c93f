// A flight's pose at every frame: exactly the given pose at a given frame, the first pose
// before the first given frame, and between two given frames a point on a Catmull-Rom curve
// through the given poses (the ends clamped: the first and last keys stand in for the
// missing neighbours). Positions and angles are interpolated alike, in single precision in
// one fixed order, so every platform gives the same poses; the single-axis flag is the one
// of the key at or before the frame.
#pragma once

#include "flight/flight_file.h"

// The pose of frame (1 or more, at most the flight's last frame).
CameraPose flightPose(const Flight& flight, int frame);

// The last frame the flight gives: where it ends.
int flightLastFrame(const Flight& flight);

// A PoseSource context: a flight and the number of the frame being rendered, which the host
// keeps.
struct FlightPlayback {
    const Flight* flight;
    const int* frame;
};

// A PoseSource's poseAt for a FlightPlayback: the flight's pose of *frame (the clock plays no
// part).
CameraPose flightPlaybackPose(void* playback, float t);
