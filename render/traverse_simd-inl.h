// The lattice traversal for a queue of rays, one ray per SIMD lane. Per-target header.
//
// Rays take 1 to 50 iterations, so a packet of fixed rays would run as long as its
// slowest one. Instead every lane works through a shared queue: when its ray stops, the
// lane is frozen, and once enough lanes are frozen their results are written out and
// they take the next rays from the queue. Every lane does exactly the arithmetic of
// traverseSponge in the same order; only which ray sits in which lane changes.
#if defined(SPONGE_RENDER_TRAVERSE_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef SPONGE_RENDER_TRAVERSE_SIMD_INL_H_
#undef SPONGE_RENDER_TRAVERSE_SIMD_INL_H_
#else
#define SPONGE_RENDER_TRAVERSE_SIMD_INL_H_
#endif

#include <cstddef>
#include <cstdint>

#include "hwy/highway.h"
#include "render/simd_convert-inl.h"
#include "render/traverse.h"

HWY_BEFORE_NAMESPACE();
namespace sponge {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Rays of one queue. Direction (and, unless the origin is shared, origin) arrays must
// be readable for count + the lane count entries: refills load whole vectors. The
// result arrays receive index count as a scratch slot for lanes with nothing to write.
struct RayQueue {
    const float* dir[3];
    const float* origin[3];  // per ray; ignored when the origin is shared
    float sharedOrigin[3];
    int32_t count;
    float* distance;
    float* exitParam;
};

// Freed lanes are refilled once at least half a vector of them is waiting: a refill
// costs about as much as a traversal step, so waiting for a few keeps both the refill
// cost and the idle lanes small (measured best on 8 and 16 lanes).
constexpr size_t refillBatch(size_t lanes) { return lanes < 2 ? 1 : lanes / 2; }

// The state of one vector of rays: traverseSponge's working variables, lane by lane,
// and the queue index each lane's result goes to.
template <class DF>
struct RayLanes {
    hn::Vec<DF> p[3], local[3], d[3], origin[3];
    hn::Vec<DF> face[3];  // 1 when d > 0, else 0: the face each axis's exit is measured to
    hn::Vec<DF> h, exitParam;
    hn::Vec<hn::RebindToSigned<DF>> budget, slot;
};

// Vectors of rays stepped side by side (three and four measured no better than two).
constexpr int kGroups = 2;

template <bool kSingleAxis, bool kSharedOrigin>
HWY_NOINLINE void TraceRayQueue(const RayQueue& q) {
    using DF = hn::ScalableTag<float>;
    using DI = hn::RebindToSigned<DF>;
    using DU = hn::RebindToUnsigned<DF>;
    using VF = hn::Vec<DF>;
    using VI = hn::Vec<DI>;
    using Lanes = RayLanes<DF>;
    const DF df;
    const DI di;
    const DU du;
    const size_t N = hn::Lanes(df);
    const size_t refillAt = refillBatch(N);

    const VF kThird = hn::Set(df, 0.33333334f);
    const VF kThree = hn::Set(df, 3.0f);
    const VF kThreshold = hn::Set(df, 0.003f);
    const VF kOne = hn::Set(df, 1.0f);
    const VF kZero = hn::Zero(df);
    const VF kPush = hn::Set(df, 0.001f);
    const VI kOneI = hn::Set(di, 1);
    const VI kTwoI = hn::Set(di, 2);
    const VI kZeroI = hn::Zero(di);
    const VI kBudget = hn::Set(di, TRAVERSAL_BUDGET);
    const VI kScratch = hn::Set(di, q.count);
    // Lane j's mask of the lanes below it, to rank the freed lanes.
    static_assert(hn::MaxLanes(DU()) <= 32, "lane ranks are counted in 32-bit masks");
    alignas(64) uint32_t lowerMaskStore[hn::MaxLanes(DU())];
    for (size_t j = 0; j < N; ++j) lowerMaskStore[j] = (1u << j) - 1u;
    const auto lowerMask = hn::Load(du, lowerMaskStore);

    // Every lane starts frozen with nothing to write: the first pass fills them all.
    auto initial = [&]() {
        Lanes g;
        for (int k = 0; k < 3; ++k) {
            g.origin[k] = hn::Set(df, q.sharedOrigin[k]);
            g.p[k] = g.origin[k];
            g.local[k] = g.origin[k];
            g.d[k] = kOne;
            g.face[k] = kOne;
        }
        g.h = kZero;
        g.exitParam = kZero;
        g.budget = kBudget;
        g.slot = kScratch;
        return g;
    };
    int32_t next = 0;

    // Writes the results of the frozen lanes (distance from the ray's origin, exit
    // parameter) to their slots.
    auto flush = [&](const Lanes& g, hn::Mask<DF> frozen) {
        const VF e0 = hn::Sub(g.p[0], g.origin[0]);
        const VF e1 = hn::Sub(g.p[1], g.origin[1]);
        const VF e2 = hn::Sub(g.p[2], g.origin[2]);
        const VF distance = hn::Sqrt(hn::Add(hn::Add(hn::Mul(e0, e0), hn::Mul(e1, e1)), hn::Mul(e2, e2)));
        const VI out = hn::IfThenElse(hn::RebindMask(di, frozen), g.slot, kScratch);
        hn::ScatterIndex(distance, df, q.distance, out);
        hn::ScatterIndex(g.exitParam, df, q.exitParam, out);
    };

    // The k-th frozen lane (counting from lane 0) takes ray next + k; lanes left over
    // when the queue runs out stay frozen and write to the scratch slot.
    auto refill = [&](Lanes& g, hn::Mask<DF> frozen, size_t frozenCount) {
        uint8_t bits[8] = {};
        hn::StoreMaskBits(df, frozen, bits);
        uint32_t frozenBits = 0;
        for (size_t b = 0; b < (N + 7) / 8; ++b) frozenBits |= uint32_t{bits[b]} << (8 * b);
        const VI rank = hn::BitCast(di, hn::PopulationCount(hn::And(hn::Set(du, frozenBits), lowerMask)));
        const int32_t waiting = q.count - next;
        const auto take = hn::And(frozen, hn::RebindMask(df, hn::Lt(rank, hn::Set(di, waiting))));
        const auto takeI = hn::RebindMask(di, take);
        const auto lanes = hn::IndicesFromVec(df, rank);
        for (int k = 0; k < 3; ++k) {
            g.d[k] = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.dir[k] + next), lanes), g.d[k]);
            g.face[k] = hn::IfThenElseZero(hn::Gt(g.d[k], kZero), kOne);
            if constexpr (!kSharedOrigin) {
                g.origin[k] =
                    hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.origin[k] + next), lanes), g.origin[k]);
            }
            g.p[k] = hn::IfThenElse(take, g.origin[k], g.p[k]);
            g.local[k] = hn::IfThenElse(take, g.origin[k], g.local[k]);
        }
        g.h = hn::IfThenElse(take, kOne, g.h);
        g.exitParam = hn::IfThenElse(take, kZero, g.exitParam);
        g.budget = hn::IfThenElse(takeI, kBudget, g.budget);
        g.slot = hn::IfThenElse(takeI, hn::Add(hn::Set(di, next), rank),
                                hn::IfThenElse(hn::RebindMask(di, frozen), kScratch, g.slot));
        const int32_t taken = static_cast<int32_t>(frozenCount);
        next += taken < waiting ? taken : waiting;
    };

    // One iteration of traverseSponge for every lane. Frozen lanes fail the size test,
    // so nothing they report (position, exit parameter) changes. No branches: the
    // processor can overlap the steps of independent lane groups.
    auto step = [&](Lanes& g) {
        g.budget = hn::Sub(g.budget, kOneI);
        const auto running = hn::Gt(g.h, kThreshold);
        g.h = hn::Mul(g.h, kThird);

        VF f[3], digit[3];
        for (int k = 0; k < 3; ++k) {
            f[k] = hn::Mul(hn::Abs(hn::Sub(g.local[k], hn::ConvertTo(df, TruncToInt32(df, g.local[k])))), kThree);
            digit[k] = hn::ConvertTo(df, TruncToInt32(df, f[k]));
            g.local[k] = f[k];
        }
        const VI squares = TruncToInt32(
            df, hn::Add(hn::Add(hn::Mul(digit[0], digit[0]), hn::Mul(digit[1], digit[1])), hn::Mul(digit[2], digit[2])));
        // The sum is >= 0 or INT32_MIN, so "mod 4 >= 2" is bit 1.
        const auto middle = hn::RebindMask(df, hn::Ne(hn::And(squares, kTwoI), kZeroI));
        const auto empty = hn::And(running, middle);

        auto exitCandidate = [&](int k) {
            return hn::Div(hn::Sub(g.face[k], hn::Abs(hn::Sub(f[k], digit[k]))), g.d[k]);
        };
        VF t;
        if constexpr (kSingleAxis) {
            t = exitCandidate(0);
        } else {
            const VF e0 = exitCandidate(0);
            const VF e1 = exitCandidate(1);
            const VF e2 = exitCandidate(2);
            // A false comparison (NaN included) picks the second candidate.
            const VF m = hn::IfThenElse(hn::Gt(e1, e0), e0, e1);
            t = hn::IfThenElse(hn::Gt(e2, m), m, e2);
        }
        const VF stepLength = hn::Add(hn::Mul(t, g.h), kPush);
        for (int k = 0; k < 3; ++k) {
            g.p[k] = hn::IfThenElse(empty, hn::Add(g.p[k], hn::Mul(g.d[k], stepLength)), g.p[k]);
            g.local[k] = hn::IfThenElse(empty, g.p[k], g.local[k]);
        }
        g.h = hn::IfThenElse(empty, kOne, g.h);
        g.exitParam = hn::IfThenElse(empty, t, g.exitParam);
        // A spent budget stops the ray after this iteration's work: freeze it.
        const auto spent = hn::And(running, hn::RebindMask(df, hn::Eq(g.budget, kZeroI)));
        g.h = hn::IfThenElse(spent, kZero, g.h);
    };

    // Independent groups of lanes: one group's step is a single long chain of
    // dependent operations, so the others fill the gaps.
    Lanes g[kGroups];
    for (Lanes& lanes : g) lanes = initial();
    for (;;) {
        hn::Mask<DF> frozen[kGroups];
        size_t count[kGroups];
        bool allFrozen = true;
        for (int i = 0; i < kGroups; ++i) {
            frozen[i] = hn::Not(hn::Gt(g[i].h, kThreshold));
            count[i] = hn::CountTrue(df, frozen[i]);
            allFrozen = allFrozen && count[i] == N;
        }
        if (next < q.count) {
            for (int i = 0; i < kGroups; ++i) {
                if (count[i] >= refillAt && next < q.count) {
                    flush(g[i], frozen[i]);
                    refill(g[i], frozen[i], count[i]);
                }
            }
        } else if (allFrozen) {
            for (int i = 0; i < kGroups; ++i) flush(g[i], frozen[i]);
            break;
        }
        for (Lanes& lanes : g) step(lanes);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#endif  // include guard
