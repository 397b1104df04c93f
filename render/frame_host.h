// What the frame step asks of whoever hosts it. The renderer itself knows nothing of
// keyboards, clocks or consoles.
#pragma once

#include <cstdint>

#include "render/types.h"

struct FrameHost {
    // Is Space held at the moment of the call? Sampled once per frame. Null: never.
    bool (*spaceHeld)();
    // Wrapping 32-bit millisecond clock of 1 ms resolution. Null: the clock stands at 0,
    // so no frame-rate line is ever due.
    uint32_t (*clockMs)();
    // Receives each frame-rate line, without its newline. Null: lines are dropped.
    void (*reportLine)(const char* text);
    // Runs after each blended frame. Null: blended frames are left unfiltered.
    TrailFilter trailFilter;
};

// Binds the host for every following renderFrame call.
void bindFrameHost(const FrameHost& host);

// The bound host (all null until bindFrameHost).
const FrameHost& frameHost();

// Writes the line and a newline to standard output and flushes, so a pipe sees each
// line as it happens.
void printReportLine(const char* text);
