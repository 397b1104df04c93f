// One ray through the unbounded lattice of unit Menger sponges.
#pragma once

#include <cstdint>

#include "render/types.h"

// Non-zero: each empty-cell step exits along axis 0 alone. Written by the frame step
// before any worker runs, read-only while rows are shaded.
extern int32_t singleAxisStep;

constexpr int TRAVERSAL_BUDGET = 50;

TraversalResult traverseSponge(float p0, float p1, float p2, float d0, float d1, float d2);
