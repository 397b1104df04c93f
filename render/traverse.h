// One ray through the unbounded lattice of unit Menger sponges.
#pragma once

#include <cstdint>

#include "render/types.h"

// Non-zero: each empty-cell step exits along axis 0 alone. Written by the frame step
// before any worker runs, read-only while rows are shaded.
extern int32_t singleAxisStep;

constexpr int TRAVERSAL_BUDGET = 50;

TraversalResult traverseSponge(float p0, float p1, float p2, float d0, float d1, float d2);

// Where a traversal stands right after an empty-cell step: at position p, to restart at the
// top level, with exitParam the step's exit parameter and budget the iterations it has left.
struct TraversalRestart {
    float p[3];
    float exitParam;
    int budget;
};

// The rest of a traversal from that point, as traverseSponge would go on with it, for a ray
// from start along d: how the SIMD traversal finishes a ray its vectors cannot carry.
TraversalResult continueTraversal(const float start[3], const float d[3], const TraversalRestart& from,
                                  int32_t singleAxis);
