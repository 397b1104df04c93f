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

// Freed lanes are refilled once at least this many are waiting (never more than the
// lane count): refilling costs about as much as a traversal step, so waiting for a
// few keeps both the refill cost and the idle lanes small.
constexpr size_t REFILL_BATCH = 16;

template <bool kSingleAxis, bool kSharedOrigin>
HWY_NOINLINE void TraceRayQueue(const RayQueue& q) {
    using DF = hn::ScalableTag<float>;
    using DI = hn::RebindToSigned<DF>;
    using DU = hn::RebindToUnsigned<DF>;
    using VF = hn::Vec<DF>;
    using VI = hn::Vec<DI>;
    const DF df;
    const DI di;
    const DU du;
    const size_t N = hn::Lanes(df);
    const size_t refillAt = N < REFILL_BATCH ? N : REFILL_BATCH;

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

    VF o0 = hn::Set(df, q.sharedOrigin[0]);
    VF o1 = hn::Set(df, q.sharedOrigin[1]);
    VF o2 = hn::Set(df, q.sharedOrigin[2]);
    // Every lane starts frozen with nothing to write: the first pass through the loop
    // fills them all.
    VF p0 = o0, p1 = o1, p2 = o2;
    VF l0 = o0, l1 = o1, l2 = o2;
    VF d0 = kOne, d1 = kOne, d2 = kOne;
    VF h = kZero;
    VF exitParam = kZero;
    VI budget = kBudget;
    VI slot = kScratch;
    int32_t next = 0;

    for (;;) {
        const auto frozen = hn::Not(hn::Gt(h, kThreshold));
        const size_t frozenCount = hn::CountTrue(df, frozen);
        if (next < q.count ? frozenCount >= refillAt : frozenCount == N) {
            const VF e0 = hn::Sub(p0, o0);
            const VF e1 = hn::Sub(p1, o1);
            const VF e2 = hn::Sub(p2, o2);
            const VF distance =
                hn::Sqrt(hn::Add(hn::Add(hn::Mul(e0, e0), hn::Mul(e1, e1)), hn::Mul(e2, e2)));
            const VI out = hn::IfThenElse(hn::RebindMask(di, frozen), slot, kScratch);
            hn::ScatterIndex(distance, df, q.distance, out);
            hn::ScatterIndex(exitParam, df, q.exitParam, out);
            if (next >= q.count) break;

            // The k-th frozen lane (counting from lane 0) takes ray next + k.
            uint8_t bits[8] = {};
            hn::StoreMaskBits(df, frozen, bits);
            uint32_t frozenBits = 0;
            for (size_t b = 0; b < (N + 7) / 8; ++b) frozenBits |= uint32_t{bits[b]} << (8 * b);
            const VI rank =
                hn::BitCast(di, hn::PopulationCount(hn::And(hn::Set(du, frozenBits), lowerMask)));
            const int32_t waiting = q.count - next;
            const auto take = hn::And(frozen, hn::RebindMask(df, hn::Lt(rank, hn::Set(di, waiting))));
            const auto takeI = hn::RebindMask(di, take);
            const auto lanes = hn::IndicesFromVec(df, rank);

            d0 = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.dir[0] + next), lanes), d0);
            d1 = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.dir[1] + next), lanes), d1);
            d2 = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.dir[2] + next), lanes), d2);
            if constexpr (!kSharedOrigin) {
                o0 = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.origin[0] + next), lanes), o0);
                o1 = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.origin[1] + next), lanes), o1);
                o2 = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.origin[2] + next), lanes), o2);
            }
            p0 = hn::IfThenElse(take, o0, p0);
            p1 = hn::IfThenElse(take, o1, p1);
            p2 = hn::IfThenElse(take, o2, p2);
            l0 = hn::IfThenElse(take, o0, l0);
            l1 = hn::IfThenElse(take, o1, l1);
            l2 = hn::IfThenElse(take, o2, l2);
            h = hn::IfThenElse(take, kOne, h);
            exitParam = hn::IfThenElse(take, kZero, exitParam);
            budget = hn::IfThenElse(takeI, kBudget, budget);
            // Lanes left without a ray stay frozen and write to the scratch slot.
            slot = hn::IfThenElse(takeI, hn::Add(hn::Set(di, next), rank),
                                  hn::IfThenElse(hn::RebindMask(di, frozen), kScratch, slot));
            next += static_cast<int32_t>(frozenCount) < waiting ? static_cast<int32_t>(frozenCount) : waiting;
        }

        // One iteration of traverseSponge for every lane. Frozen lanes fail the size
        // test, so nothing they report (position, exit parameter) changes.
        budget = hn::Sub(budget, kOneI);
        const auto running = hn::Gt(h, kThreshold);
        h = hn::Mul(h, kThird);

        const VF f0 = hn::Mul(hn::Abs(hn::Sub(l0, hn::ConvertTo(df, TruncToInt32(df, l0)))), kThree);
        const VF f1 = hn::Mul(hn::Abs(hn::Sub(l1, hn::ConvertTo(df, TruncToInt32(df, l1)))), kThree);
        const VF f2 = hn::Mul(hn::Abs(hn::Sub(l2, hn::ConvertTo(df, TruncToInt32(df, l2)))), kThree);
        const VF g0 = hn::ConvertTo(df, TruncToInt32(df, f0));
        const VF g1 = hn::ConvertTo(df, TruncToInt32(df, f1));
        const VF g2 = hn::ConvertTo(df, TruncToInt32(df, f2));
        l0 = f0;
        l1 = f1;
        l2 = f2;
        const VI squares =
            TruncToInt32(df, hn::Add(hn::Add(hn::Mul(g0, g0), hn::Mul(g1, g1)), hn::Mul(g2, g2)));
        // The sum is >= 0 or INT32_MIN, so "mod 4 >= 2" is bit 1.
        const auto middle = hn::RebindMask(df, hn::Ne(hn::And(squares, kTwoI), kZeroI));
        const auto empty = hn::And(running, middle);

        if (!hn::AllFalse(df, empty)) {
            const VF b0 = hn::IfThenElseZero(hn::Gt(d0, kZero), kOne);
            const VF e0 = hn::Div(hn::Sub(b0, hn::Abs(hn::Sub(f0, g0))), d0);
            VF t;
            if constexpr (kSingleAxis) {
                t = e0;
            } else {
                const VF b1 = hn::IfThenElseZero(hn::Gt(d1, kZero), kOne);
                const VF b2 = hn::IfThenElseZero(hn::Gt(d2, kZero), kOne);
                const VF e1 = hn::Div(hn::Sub(b1, hn::Abs(hn::Sub(f1, g1))), d1);
                const VF e2 = hn::Div(hn::Sub(b2, hn::Abs(hn::Sub(f2, g2))), d2);
                // A false comparison (NaN included) picks the second candidate.
                const VF m = hn::IfThenElse(hn::Gt(e1, e0), e0, e1);
                t = hn::IfThenElse(hn::Gt(e2, m), m, e2);
            }
            const VF step = hn::Add(hn::Mul(t, h), kPush);
            p0 = hn::IfThenElse(empty, hn::Add(p0, hn::Mul(d0, step)), p0);
            p1 = hn::IfThenElse(empty, hn::Add(p1, hn::Mul(d1, step)), p1);
            p2 = hn::IfThenElse(empty, hn::Add(p2, hn::Mul(d2, step)), p2);
            l0 = hn::IfThenElse(empty, p0, l0);
            l1 = hn::IfThenElse(empty, p1, l1);
            l2 = hn::IfThenElse(empty, p2, l2);
            h = hn::IfThenElse(empty, kOne, h);
            exitParam = hn::IfThenElse(empty, t, exitParam);
        }
        // A spent budget stops the ray after this iteration's work: freeze it.
        const auto spent = hn::And(running, hn::RebindMask(df, hn::Eq(budget, kZeroI)));
        h = hn::IfThenElse(spent, kZero, h);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#endif  // include guard
