// Flights as text: one pose per line, seven fields separated by blanks,
//     frame p0 p1 p2 a1 a2 single
// the frame number, the camera position, the first and the second view angle and the
// single-axis flag (0 or 1). Floats are written with 9 significant digits, which read back
// to the same bits; reading also takes hexadecimal floats (0x1.8p-3). Lines may end in LF or
// CRLF; blank lines and lines starting with # are skipped. Frames must increase from line to
// line; a flight may give some frames only (keyframes, see keyframes.h).
#pragma once

#include <string>
#include <vector>

#include "render/camera_pose.h"

struct FlightKey {
    int frame;
    CameraPose pose;
};

// At least one key, frames strictly increasing.
struct Flight {
    std::vector<FlightKey> keys;
};

// Reads the text of the flight file called name. False with *error, one line naming the file
// and the line: "NAME:LINE: reason".
bool parseFlight(const std::string& text, const std::string& name, Flight* flight, std::string* error);

// The comment line a written flight starts with, newline included.
std::string flightHeader();

// One pose as a line of a flight file, newline included.
std::string flightLine(int frame, const CameraPose& pose);
