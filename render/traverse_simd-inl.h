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
// cost and the idle lanes small (measured best on 8 and 16 lanes; 3/8 and 5/8 of a
// vector measured the same on 16).
constexpr size_t refillBatch(size_t lanes) { return lanes < 2 ? 1 : lanes / 2; }

// Bit j set for every lane j of mask.
template <class DF>
HWY_INLINE uint32_t MaskBits(DF df, hn::Mask<DF> mask) {
    static_assert(hn::MaxLanes(DF()) <= 32, "lanes are counted in 32-bit masks");
    uint8_t bytes[8] = {};
    hn::StoreMaskBits(df, mask, bytes);
    uint32_t bits = 0;
    for (size_t b = 0; b < (hn::Lanes(df) + 7) / 8; ++b) bits |= uint32_t{bytes[b]} << (8 * b);
    return bits;
}

// Vectors of rays stepped side by side. Three measured slower than two: their working
// state no longer fits in the registers.
constexpr int LANE_GROUPS = 2;

// "a when b > a, else b": traverseSponge's choice of the smaller exit candidate, where a
// false comparison (NaN included) and equal values (signed zeros included) give b. The
// x86 minimum instruction is defined as exactly that; Highway's Min elsewhere is not.
template <class DF>
HWY_INLINE hn::Vec<DF> KeepSmaller(DF df, hn::Vec<DF> a, hn::Vec<DF> b) {
#if HWY_ARCH_X86 && HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128
    (void)df;
    return hn::Min(a, b);
#else
    (void)df;
    return hn::IfThenElse(hn::Gt(b, a), a, b);
#endif
}

template <bool SINGLE_AXIS, bool SHARED_ORIGIN>
HWY_NOINLINE void TraceRayQueue(const RayQueue& q) {
    using DF = hn::ScalableTag<float>;
    using DI = hn::RebindToSigned<DF>;
    using DU = hn::RebindToUnsigned<DF>;
    using VF = hn::Vec<DF>;
    using VI = hn::Vec<DI>;
    using MF = hn::Mask<DF>;
    const DF df;
    const DI di;
    const DU du;
    const size_t N = hn::Lanes(df);
    const size_t refillAt = refillBatch(N);
    constexpr size_t MAX_LANES = hn::MaxLanes(DF());

    const VF third = hn::Set(df, 0.33333334f);
    const VF three = hn::Set(df, 3.0f);
    const VF threshold = hn::Set(df, 0.003f);
    const VF one = hn::Set(df, 1.0f);
    const VF zero = hn::Zero(df);
    const VF push = hn::Set(df, 0.001f);
    const VI oneI = hn::Set(di, 1);
    const VI twoI = hn::Set(di, 2);
    const VI aboveThree = hn::Set(di, ~3);
    const VI zeroI = hn::Zero(di);
    const VI scratch = hn::Set(di, q.count);
    // Lane j's mask of the lanes below it, to rank the freed lanes.
    static_assert(hn::MaxLanes(DU()) <= 32, "lane ranks are counted in 32-bit masks");
    alignas(64) uint32_t lowerMaskStore[hn::MaxLanes(DU())];
    for (size_t j = 0; j < N; ++j) lowerMaskStore[j] = (1u << j) - 1u;
    const auto lowerMask = hn::Load(du, lowerMaskStore);

    // traverseSponge's working variables, lane by lane. Only p, local and h change on
    // every step, and they are kept in registers (two groups of them fit; all of the
    // state did not, and storing it back every step cost more than the step's
    // arithmetic). The rest changes only when a lane takes a new ray, so it lives in
    // memory and a step merely loads it.
    struct Hot {
        VF p[3], local[3], h;
    };
    alignas(64) float dirStore[LANE_GROUPS][3][MAX_LANES];
    alignas(64) float faceStore[LANE_GROUPS][3][MAX_LANES];  // 1 when d > 0, else 0
    alignas(64) float originStore[LANE_GROUPS][3][MAX_LANES];
    alignas(64) float exitStore[LANE_GROUPS][MAX_LANES];
    // The budget as the step number on which it runs out: one comparison per step
    // instead of a decrement, a comparison and a store.
    alignas(64) int32_t deadlineStore[LANE_GROUPS][MAX_LANES];
    alignas(64) int32_t slotStore[LANE_GROUPS][MAX_LANES];  // the queue index of each lane's result
    int32_t tick = 0;  // steps taken so far
    int32_t nextDeadline[LANE_GROUPS];  // the earliest deadline of a group's lanes

    // Every lane starts frozen with nothing to write: the first pass fills them all.
    auto initial = [&](int i) {
        Hot g;
        HWY_UNROLL(3)
        for (int k = 0; k < 3; ++k) {
            const VF o = hn::Set(df, q.sharedOrigin[k]);
            hn::Store(o, df, originStore[i][k]);
            hn::Store(one, df, dirStore[i][k]);
            hn::Store(one, df, faceStore[i][k]);
            g.p[k] = o;
            g.local[k] = o;
        }
        g.h = zero;
        hn::Store(zero, df, exitStore[i]);
        hn::Store(hn::Set(di, INT32_MAX), di, deadlineStore[i]);
        nextDeadline[i] = INT32_MAX;
        hn::Store(scratch, di, slotStore[i]);
        return g;
    };
    int32_t next = 0;

    // Writes the results of the frozen lanes (distance from the ray's origin, exit
    // parameter) to their slots.
    auto flush = [&](const Hot& g, int i, MF frozen) {
        const VF e0 = hn::Sub(g.p[0], hn::Load(df, originStore[i][0]));
        const VF e1 = hn::Sub(g.p[1], hn::Load(df, originStore[i][1]));
        const VF e2 = hn::Sub(g.p[2], hn::Load(df, originStore[i][2]));
        const VF distance = hn::Sqrt(hn::Add(hn::Add(hn::Mul(e0, e0), hn::Mul(e1, e1)), hn::Mul(e2, e2)));
        // One store per frozen lane rather than a scatter of every lane (the others to
        // the scratch slot): measured faster, the scatter being slow on AVX-512 parts
        // and emulated elsewhere.
        alignas(64) float distanceLanes[MAX_LANES];
        hn::Store(distance, df, distanceLanes);
        for (uint32_t bits = MaskBits(df, frozen); bits != 0; bits &= bits - 1) {
            const int j = __builtin_ctz(bits);
            const int32_t slot = slotStore[i][j];
            q.distance[slot] = distanceLanes[j];
            q.exitParam[slot] = exitStore[i][j];
        }
    };

    // The k-th frozen lane (counting from lane 0) takes ray next + k; lanes left over
    // when the queue runs out stay frozen and write to the scratch slot.
    auto refill = [&](Hot& g, int i, MF frozen, size_t frozenCount) {
        const uint32_t frozenBits = MaskBits(df, frozen);
        const VI rank = hn::BitCast(di, hn::PopulationCount(hn::And(hn::Set(du, frozenBits), lowerMask)));
        const int32_t waiting = q.count - next;
        const auto take = hn::And(frozen, hn::RebindMask(df, hn::Lt(rank, hn::Set(di, waiting))));
        const auto takeI = hn::RebindMask(di, take);
        const auto lanes = hn::IndicesFromVec(df, rank);
        HWY_UNROLL(3)
        for (int k = 0; k < 3; ++k) {
            const VF d = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.dir[k] + next), lanes),
                                        hn::Load(df, dirStore[i][k]));
            hn::Store(d, df, dirStore[i][k]);
            hn::Store(hn::IfThenElseZero(hn::Gt(d, zero), one), df, faceStore[i][k]);
            VF origin = hn::Load(df, originStore[i][k]);
            if constexpr (!SHARED_ORIGIN) {
                origin = hn::IfThenElse(take, hn::TableLookupLanes(hn::LoadU(df, q.origin[k] + next), lanes), origin);
                hn::Store(origin, df, originStore[i][k]);
            }
            g.p[k] = hn::IfThenElse(take, origin, g.p[k]);
            g.local[k] = hn::IfThenElse(take, origin, g.local[k]);
        }
        g.h = hn::IfThenElse(take, one, g.h);
        hn::Store(hn::IfThenElse(take, zero, hn::Load(df, exitStore[i])), df, exitStore[i]);
        // The next step is number tick; the budget runs out on the last of its steps.
        const VI deadline = hn::IfThenElse(takeI, hn::Set(di, tick + TRAVERSAL_BUDGET - 1),
                                           hn::IfThenElse(hn::RebindMask(di, frozen), hn::Set(di, INT32_MAX),
                                                          hn::Load(di, deadlineStore[i])));
        hn::Store(deadline, di, deadlineStore[i]);
        nextDeadline[i] = hn::GetLane(hn::MinOfLanes(di, deadline));
        const VI slot = hn::Load(di, slotStore[i]);
        hn::Store(hn::IfThenElse(takeI, hn::Add(hn::Set(di, next), rank),
                                 hn::IfThenElse(hn::RebindMask(di, frozen), scratch, slot)),
                  di, slotStore[i]);
        const int32_t taken = static_cast<int32_t>(frozenCount);
        next += taken < waiting ? taken : waiting;
    };

    // One iteration of traverseSponge for every lane; `running` is h > 0.003. Frozen
    // lanes fail that test, so nothing they report (position, exit parameter) changes.
    // No branches: the processor can overlap the steps of independent lane groups.
    auto step = [&](Hot& g, int i, MF running, VI now) {
        g.h = hn::Mul(g.h, third);

        VF f[3], digit[3];
        VI whole[3];
        HWY_UNROLL(3)
        for (int k = 0; k < 3; ++k) {
            f[k] = hn::Mul(hn::Abs(hn::Sub(g.local[k], hn::ConvertTo(df, TruncToInt32(df, g.local[k])))), three);
            whole[k] = TruncToInt32(df, f[k]);
            digit[k] = hn::ConvertTo(df, whole[k]);
            g.local[k] = f[k];
        }
        // Digits 0 to 3 square to 0 or 1 mod 4 as they are even or odd, so the sum of
        // squares is 2 or 3 mod 4 exactly when at least two digits are odd: bit 0 of the
        // digits' bitwise majority. A few integer operations instead of squares, sums
        // and a conversion. Other digits (INT32_MIN, or large ones from coordinates
        // below -2^31) take the squares as written.
        MF middle = hn::RebindMask(
            df, hn::TestBit(hn::OrAnd(hn::And(whole[0], whole[1]), whole[2], hn::Or(whole[0], whole[1])), oneI));
        const VI anyDigit = hn::Or(hn::Or(whole[0], whole[1]), whole[2]);
        if (HWY_UNLIKELY(!hn::AllTrue(di, hn::Eq(hn::And(anyDigit, aboveThree), zeroI)))) {
            const VI squares = TruncToInt32(df, hn::Add(hn::Add(hn::Mul(digit[0], digit[0]), hn::Mul(digit[1], digit[1])),
                                                        hn::Mul(digit[2], digit[2])));
            // The sum is >= 0 or INT32_MIN, so "mod 4 >= 2" is bit 1.
            middle = hn::RebindMask(df, hn::TestBit(squares, twoI));
        }
        const auto empty = hn::And(running, middle);

        // traverseSponge takes |f - digit|, but the difference is never negative and
        // never a negative NaN: f is +0, positive or a positive NaN (it comes out of an
        // Abs), its digit is trunc(f) <= f whenever f is below 2^31 (x - x is +0), and
        // -2^31 otherwise. So the Abs is left out.
        auto exitCandidate = [&](int k) {
            return hn::Div(hn::Sub(hn::Load(df, faceStore[i][k]), hn::Sub(f[k], digit[k])),
                           hn::Load(df, dirStore[i][k]));
        };
        VF t;
        if constexpr (SINGLE_AXIS) {
            t = exitCandidate(0);
        } else {
            const VF e0 = exitCandidate(0);
            const VF e1 = exitCandidate(1);
            const VF e2 = exitCandidate(2);
            t = KeepSmaller(df, KeepSmaller(df, e0, e1), e2);
        }
        const VF stepLength = hn::Add(hn::Mul(t, g.h), push);
        HWY_UNROLL(3)
        for (int k = 0; k < 3; ++k) {
            g.p[k] = hn::IfThenElse(empty, hn::Add(g.p[k], hn::Mul(hn::Load(df, dirStore[i][k]), stepLength)), g.p[k]);
            g.local[k] = hn::IfThenElse(empty, g.p[k], g.local[k]);
        }
        hn::BlendedStore(t, empty, df, exitStore[i]);
        g.h = hn::IfThenElse(empty, one, g.h);
        // A spent budget stops the ray after this iteration's work: freeze it. Rare, so
        // the lanes are only looked at on the earliest deadline of the group.
        if (HWY_UNLIKELY(nextDeadline[i] == tick)) {
            const VI deadline = hn::Load(di, deadlineStore[i]);
            const auto due = hn::Eq(deadline, now);
            g.h = hn::IfThenElse(hn::And(running, hn::RebindMask(df, due)), zero, g.h);
            const VI later = hn::IfThenElse(due, hn::Set(di, INT32_MAX), deadline);
            hn::Store(later, di, deadlineStore[i]);
            nextDeadline[i] = hn::GetLane(hn::MinOfLanes(di, later));
        }
    };

    // Independent groups of lanes: one group's step is a single long chain of
    // dependent operations, so the other fills the gaps. Named variables rather than an
    // array, so that the compiler keeps them in registers.
    static_assert(LANE_GROUPS == 2, "the loop below steps two named groups");
    Hot g0 = initial(0);
    Hot g1 = initial(1);
    for (;;) {
        const MF running0 = hn::Gt(g0.h, threshold);
        const MF running1 = hn::Gt(g1.h, threshold);
        const MF frozen0 = hn::Not(running0);
        const MF frozen1 = hn::Not(running1);
        const size_t count0 = hn::CountTrue(df, frozen0);
        const size_t count1 = hn::CountTrue(df, frozen1);
        if (next < q.count) {
            if (count0 >= refillAt || count1 >= refillAt) {
                if (count0 >= refillAt) {
                    flush(g0, 0, frozen0);
                    refill(g0, 0, frozen0, count0);
                }
                if (count1 >= refillAt && next < q.count) {
                    flush(g1, 1, frozen1);
                    refill(g1, 1, frozen1, count1);
                }
                // Refilled lanes run again: take the masks afresh.
                continue;
            }
        } else if (count0 == N && count1 == N) {
            flush(g0, 0, frozen0);
            flush(g1, 1, frozen1);
            break;
        }
        const VI now = hn::Set(di, tick);
        step(g0, 0, running0, now);
        step(g1, 1, running1, now);
        ++tick;
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#endif  // include guard
