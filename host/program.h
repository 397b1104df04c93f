// What sponge-cross and sponge-quad share: everything but the trail filter.
#pragma once

#include "render/types.h"

// Runs the fly-through in a window until Escape or a closed window (status 0). When no
// window can be opened, says why on standard error, prefixed with programName, and
// returns 1: a program that cannot show anything must not report success.
int runSpongeProgram(const char* programName, const TrailFilterVariants& trailFilter);
