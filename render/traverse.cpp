#include "render/traverse.h"

#include <cmath>

#include "render/float_to_int.h"

int32_t singleAxisStep = 0;

namespace {

// The loop from any state it can be in between two iterations.
TraversalResult traverse(const float start[3], const float d[3], float p[3], float local[3], float h,
                         float exitParam, int budget, int32_t singleAxis) {
    while (budget > 0) {
        --budget;
        if (!(h > 0.003f)) break;  // a NaN h stops too
        h = h * 0.33333334f;

        float f[3];
        int32_t digit[3];
        for (int k = 0; k < 3; ++k) {
            f[k] = std::fabs(local[k] - static_cast<float>(truncToInt32(local[k]))) * 3.0f;
            digit[k] = truncToInt32(f[k]);
            local[k] = f[k];
        }
        const float d0sq = static_cast<float>(digit[0]) * static_cast<float>(digit[0]);
        const float d1sq = static_cast<float>(digit[1]) * static_cast<float>(digit[1]);
        const float d2sq = static_cast<float>(digit[2]) * static_cast<float>(digit[2]);
        // Squares of 0, 1, 2 are 0, 1, 4: mod 4 counts the middle digits.
        const int32_t middles = truncToInt32(d0sq + d1sq + d2sq) % 4;

        if (middles >= 2) {
            float e[3];
            for (int k = 0; k < 3; ++k) {
                const float g = std::fabs(f[k] - static_cast<float>(digit[k]));
                const float b = d[k] > 0.0f ? 1.0f : 0.0f;
                e[k] = (b - g) / d[k];
            }
            float t;
            if (singleAxis != 0) {
                t = e[0];
            } else {
                // False comparisons (NaN included) pick the second candidate.
                const float m = e[1] > e[0] ? e[0] : e[1];
                t = e[2] > m ? m : e[2];
            }
            const float step = t * h + 0.001f;
            for (int k = 0; k < 3; ++k) p[k] = p[k] + d[k] * step;
            local[0] = p[0];
            local[1] = p[1];
            local[2] = p[2];
            h = 1.0f;
            exitParam = t;
        }
    }

    const float dx = p[0] - start[0];
    const float dy = p[1] - start[1];
    const float dz = p[2] - start[2];
    const float distance = std::sqrt((dx * dx + dy * dy) + dz * dz);
    return {distance, exitParam, exitParam, exitParam};
}

}  // namespace

TraversalResult traverseSponge(float p0, float p1, float p2, float d0, float d1, float d2) {
    float p[3] = {p0, p1, p2};
    const float d[3] = {d0, d1, d2};
    const float start[3] = {p0, p1, p2};
    float local[3] = {p0, p1, p2};
    return traverse(start, d, p, local, 1.0f, 0.0f, TRAVERSAL_BUDGET, singleAxisStep);
}

TraversalResult continueTraversal(const float start[3], const float d[3], const TraversalRestart& from,
                                  int32_t singleAxis) {
    float p[3] = {from.p[0], from.p[1], from.p[2]};
    float local[3] = {from.p[0], from.p[1], from.p[2]};
    return traverse(start, d, p, local, 1.0f, from.exitParam, from.budget, singleAxis);
}
