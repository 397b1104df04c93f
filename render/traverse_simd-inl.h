// The lattice traversal for a queue of rays, one ray per SIMD lane. Per-target header.
//
// Rays take 1 to 50 iterations, so a packet of fixed rays would run as long as its
// slowest one. Instead every lane works through a shared queue: when its ray stops, the
// lane is frozen, and once enough lanes are frozen their results are written out and
// they take the next rays from the queue. Every lane gives exactly traverseSponge's results;
// its arithmetic is rearranged only where that is exact (see TraceRayQueue), and only
// which ray sits in which lane changes.
#if defined(SPONGE_RENDER_TRAVERSE_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef SPONGE_RENDER_TRAVERSE_SIMD_INL_H_
#undef SPONGE_RENDER_TRAVERSE_SIMD_INL_H_
#else
#define SPONGE_RENDER_TRAVERSE_SIMD_INL_H_
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "hwy/highway.h"
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

// Freed lanes are refilled once enough of them are waiting: a refill costs about as much as
// a traversal step, so waiting for a few keeps both the refill cost and the idle lanes
// small. Half a vector measured best on 16 lanes (3/8 and 5/8 the same), five of eight on
// eight (four and six slower).
constexpr size_t refillBatch(size_t lanes) { return lanes == 8 ? 5 : lanes < 2 ? 1 : lanes / 2; }

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

// Vectors of rays stepped side by side: three measured best on AVX2 (two and four up to 5 %
// slower).
constexpr int LANE_GROUPS = 3;

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

// For vectors of up to 8 lanes, the rank of lane j among the lanes of mask bits (how many
// of them lie below it) for every mask: where there is no vector population count (AVX2
// and below), looking it up is cheaper than counting.
struct LaneRanks {
    uint8_t rank[256][8];
};
constexpr LaneRanks laneRanks() {
    LaneRanks r{};
    for (int bits = 0; bits < 256; ++bits) {
        for (int j = 0; j < 8; ++j) {
            int below = 0;
            for (int k = 0; k < j; ++k) below += (bits >> k) & 1;
            r.rank[bits][j] = static_cast<uint8_t>(below);
        }
    }
    return r;
}
inline constexpr LaneRanks LANE_RANKS = laneRanks();

// Finishes, with the scalar traversal, the rays of the lanes in far, which the vectors cannot
// carry on exactly. Each goes on from the state it has after iteration lastTick: at p,
// restarting at the top level, with the exit parameter in exit and the iterations up to its
// deadline left. Its result goes to its slot, and the lane is frozen (h 0) with nothing more
// to write. Cold: no eye ray of a frame gets here unless a direction component is 0.
template <class DF>
HWY_NOINLINE void FinishFarLanes(DF df, hn::Mask<DF> far, float (*p)[hn::MaxLanes(DF())],
                                 const float (*origin)[hn::MaxLanes(DF())], const float (*dir)[hn::MaxLanes(DF())],
                                 const float* exit, const int32_t* deadline, int32_t* slot, float* h,
                                 int32_t lastTick, int32_t singleAxis, const RayQueue& q) {
    for (uint32_t bits = MaskBits(df, far); bits != 0; bits &= bits - 1) {
        const int j = __builtin_ctz(bits);
        const int32_t left = deadline[j] - lastTick;
        if (left <= 0) continue;  // its budget is spent: it stops here like any other lane
        const float start[3] = {origin[0][j], origin[1][j], origin[2][j]};
        const float d[3] = {dir[0][j], dir[1][j], dir[2][j]};
        const TraversalRestart from = {{p[0][j], p[1][j], p[2][j]}, exit[j], left};
        const TraversalResult r = continueTraversal(start, d, from, singleAxis);
        q.distance[slot[j]] = r.distance;
        q.exitParam[slot[j]] = r.exitParam;
        slot[j] = q.count;
        h[j] = 0.0f;
    }
}

// The lattice traversal for a queue of rays, with the fractions of the coordinates as the
// state from one level to the next.
//
// At every level after the first, traverseSponge's local coordinate is the last level's f, a
// value in [0, 3), and its truncation is the digit found there, so |local - trunc(local)| is
// that f minus its digit: the fraction fr kept per axis. A level is then f = 3 fr, its
// digit trunc(f) and the next fraction f - digit, all exact, with no conversion to and from
// integers. At the first level, the position's own fraction |p| - trunc(|p|) is exact while
// |p| is below 2^31, where traverseSponge's truncation to int32 is exact too; a lane whose
// position reaches that (|p0| + |p1| + |p2| >= 2^31, or NaN) leaves the vector and is
// finished by the scalar traversal from where it stands, as is a ray whose direction is not
// finite (or 2^31 or more).
//
// A digit is 0, 1 or 2 as a float, and of those only 1.0f has bit 23 set: "at least two
// digits are 1" is the bitwise majority of the three digits tested on that bit.
//
// Only the fractions, the one chain of dependent operations from step to step, and the exit
// parameter stay in registers; position and h are in memory, off that chain, so that three
// groups fit in sixteen registers. A lane that does not step moves by d x 0: its direction
// is finite, so its position stays as it is (but for the sign of a zero, which no result
// sees: positions enter results only through |p| and squared differences). The exit
// parameter is blended, not stored under a mask: masked stores are slow on AMD's processors.
template <bool SINGLE_AXIS, bool SHARED_ORIGIN>
HWY_NOINLINE void TraceRayQueue(const RayQueue& q) {
    // At most 32 lanes, so that a lane's bit fits the 32-bit masks and lane ranks below: that
    // is every fixed-size target, and SVE up to 1024-bit vectors; a wider SVE machine (none
    // is built) would use 32 of its lanes.
    using DF = hn::CappedTag<float, 32>;
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
    constexpr int GROUPS = LANE_GROUPS;

    const VF third = hn::Set(df, 0.33333334f);
    const VF three = hn::Set(df, 3.0f);
    const VF threshold = hn::Set(df, 0.003f);
    const VF one = hn::Set(df, 1.0f);
    const VF zero = hn::Zero(df);
    const VF push = hn::Set(df, 0.001f);
    const VF exactBelow = hn::Set(df, 2147483648.0f);
    const VI scratch = hn::Set(di, q.count);
    static_assert(hn::MaxLanes(DU()) <= 32, "lane ranks are counted in 32-bit masks");
    alignas(64) uint32_t lowerMaskStore[hn::MaxLanes(DU())];
    for (size_t j = 0; j < N; ++j) lowerMaskStore[j] = (1u << j) - 1u;
    const auto lowerMask = hn::Load(du, lowerMaskStore);

    // What of a group of lanes stays in registers from step to step. Scalable vectors (SVE)
    // can be neither members nor array elements, so each is a variable of its own (below)
    // and a group refers to its five.
    struct Fractions {
        VF& fr0;  // of the level about to be examined
        VF& fr1;
        VF& fr2;
        VF& exit;      // the exit parameter of the last step
        MF& running;   // h > 0.003, as of the start of the step
    };
    alignas(64) float pStore[GROUPS][3][MAX_LANES];
    alignas(64) float hStore[GROUPS][MAX_LANES];
    alignas(64) float dirStore[GROUPS][3][MAX_LANES];
    alignas(64) float faceStore[GROUPS][3][MAX_LANES];  // 1 when d > 0, else 0
    alignas(64) float originStore[GROUPS][3][MAX_LANES];
    alignas(64) float exitStore[GROUPS][MAX_LANES];
    // The budget as the step number on which it runs out: one comparison per step
    // instead of a decrement, a comparison and a store.
    alignas(64) int32_t deadlineStore[GROUPS][MAX_LANES];
    alignas(64) int32_t slotStore[GROUPS][MAX_LANES];  // the queue index of each lane's result
    int32_t tick = 0;                  // steps taken so far
    int32_t nextDeadline[GROUPS];      // no later than the earliest deadline of a group's lanes

    auto fraction = [](VF x) {
        const VF a = hn::Abs(x);
        return hn::Sub(a, hn::Trunc(a));
    };
    // Lanes whose position is within the exact range (not NaN).
    auto within = [&](VF p0, VF p1, VF p2) {
        return hn::Lt(hn::Add(hn::Add(hn::Abs(p0), hn::Abs(p1)), hn::Abs(p2)), exactBelow);
    };
    // The fractions of a shared origin, worked out once. An origin beyond the exact range
    // makes every ray the scalar traversal's.
    alignas(64) float sharedFraction[3][MAX_LANES];
    if constexpr (SHARED_ORIGIN) {
        const VF o0 = hn::Set(df, q.sharedOrigin[0]);
        const VF o1 = hn::Set(df, q.sharedOrigin[1]);
        const VF o2 = hn::Set(df, q.sharedOrigin[2]);
        if (!hn::AllTrue(df, within(o0, o1, o2))) {
            const TraversalRestart from = {{q.sharedOrigin[0], q.sharedOrigin[1], q.sharedOrigin[2]}, 0.0f,
                                           TRAVERSAL_BUDGET};
            for (int32_t r = 0; r < q.count; ++r) {
                const float d[3] = {q.dir[0][r], q.dir[1][r], q.dir[2][r]};
                const TraversalResult t = continueTraversal(q.sharedOrigin, d, from, SINGLE_AXIS ? 1 : 0);
                q.distance[r] = t.distance;
                q.exitParam[r] = t.exitParam;
            }
            return;
        }
        hn::Store(fraction(o0), df, sharedFraction[0]);
        hn::Store(fraction(o1), df, sharedFraction[1]);
        hn::Store(fraction(o2), df, sharedFraction[2]);
    }
    auto finishFar = [&](int i, MF far, int32_t lastTick) {
        FinishFarLanes(df, far, pStore[i], originStore[i], dirStore[i], exitStore[i], deadlineStore[i], slotStore[i],
                       hStore[i], lastTick, SINGLE_AXIS ? 1 : 0, q);
    };

    // Every lane starts frozen with nothing to write: the first pass fills them all.
    auto initial = [&](Fractions& g, int i) {
        for (int k = 0; k < 3; ++k) {
            const VF o = hn::Set(df, q.sharedOrigin[k]);
            hn::Store(o, df, originStore[i][k]);
            hn::Store(o, df, pStore[i][k]);
            hn::Store(one, df, dirStore[i][k]);
            hn::Store(one, df, faceStore[i][k]);
        }
        hn::Store(zero, df, hStore[i]);
        hn::Store(zero, df, exitStore[i]);
        hn::Store(hn::Set(di, INT32_MAX), di, deadlineStore[i]);
        nextDeadline[i] = INT32_MAX;
        hn::Store(scratch, di, slotStore[i]);
        g.fr0 = g.fr1 = g.fr2 = g.exit = zero;
    };
    int32_t next = 0;

    // Writes the results of the frozen lanes (distance from the ray's origin, exit
    // parameter) to their slots, one store per lane (a scatter was slower).
    auto flush = [&](const Fractions& g, int i, MF frozen) {
        hn::Store(g.exit, df, exitStore[i]);
        const VF e0 = hn::Sub(hn::Load(df, pStore[i][0]), hn::Load(df, originStore[i][0]));
        const VF e1 = hn::Sub(hn::Load(df, pStore[i][1]), hn::Load(df, originStore[i][1]));
        const VF e2 = hn::Sub(hn::Load(df, pStore[i][2]), hn::Load(df, originStore[i][2]));
        const VF distance = hn::Sqrt(hn::Add(hn::Add(hn::Mul(e0, e0), hn::Mul(e1, e1)), hn::Mul(e2, e2)));
        alignas(64) float distanceLanes[MAX_LANES];
        hn::Store(distance, df, distanceLanes);
        if constexpr (MAX_LANES <= 8) {
            // Every lane, without a branch: a lane still running writes what it has so far to
            // its slot, which its last flush overwrites.
            (void)frozen;
            for (size_t j = 0; j < MAX_LANES; ++j) {
                const int32_t slot = slotStore[i][j];
                q.distance[slot] = distanceLanes[j];
                q.exitParam[slot] = exitStore[i][j];
            }
        } else {
            for (uint32_t bits = MaskBits(df, frozen); bits != 0; bits &= bits - 1) {
                const int j = __builtin_ctz(bits);
                const int32_t slot = slotStore[i][j];
                q.distance[slot] = distanceLanes[j];
                q.exitParam[slot] = exitStore[i][j];
            }
        }
    };

    // The k-th frozen lane (counting from lane 0) takes ray next + k; lanes left over
    // when the queue runs out stay frozen and write to the scratch slot.
    auto refill = [&](Fractions& g, int i, MF frozen, size_t frozenCount) {
        const uint32_t frozenBits = MaskBits(df, frozen);
        VI rank;
        if constexpr (MAX_LANES <= 8) {
            const hn::Rebind<uint8_t, DI> d8;
            rank = hn::PromoteTo(di, hn::LoadU(d8, LANE_RANKS.rank[frozenBits]));
        } else {
            rank = hn::BitCast(di, hn::PopulationCount(hn::And(hn::Set(du, frozenBits), lowerMask)));
        }
        const int32_t waiting = q.count - next;
        const auto take = hn::And(frozen, hn::RebindMask(df, hn::Lt(rank, hn::Set(di, waiting))));
        const auto takeI = hn::RebindMask(di, take);
        const auto lanes = hn::IndicesFromVec(df, rank);
        // Direction and origin through memory, a component at a time: no array of vectors.
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
            hn::Store(hn::IfThenElse(take, origin, hn::Load(df, pStore[i][k])), df, pStore[i][k]);
        }
        const VF d0 = hn::Load(df, dirStore[i][0]), d1 = hn::Load(df, dirStore[i][1]), d2 = hn::Load(df, dirStore[i][2]);
        const VF o0 = hn::Load(df, originStore[i][0]), o1 = hn::Load(df, originStore[i][1]);
        const VF o2 = hn::Load(df, originStore[i][2]);
        if constexpr (SHARED_ORIGIN) {
            g.fr0 = hn::IfThenElse(take, hn::Load(df, sharedFraction[0]), g.fr0);
            g.fr1 = hn::IfThenElse(take, hn::Load(df, sharedFraction[1]), g.fr1);
            g.fr2 = hn::IfThenElse(take, hn::Load(df, sharedFraction[2]), g.fr2);
        } else {
            g.fr0 = hn::IfThenElse(take, fraction(o0), g.fr0);
            g.fr1 = hn::IfThenElse(take, fraction(o1), g.fr1);
            g.fr2 = hn::IfThenElse(take, fraction(o2), g.fr2);
        }
        hn::Store(hn::IfThenElse(take, one, hn::Load(df, hStore[i])), df, hStore[i]);
        g.exit = hn::IfThenZeroElse(take, g.exit);
        hn::Store(g.exit, df, exitStore[i]);
        // The next step is number tick; the budget runs out on the last of its steps.
        const int32_t newDeadline = tick + TRAVERSAL_BUDGET - 1;
        hn::Store(hn::IfThenElse(takeI, hn::Set(di, newDeadline),
                                 hn::IfThenElse(hn::RebindMask(di, frozen), hn::Set(di, INT32_MAX),
                                                hn::Load(di, deadlineStore[i]))),
                  di, deadlineStore[i]);
        // The new rays' deadline is the latest of all; an old one of a frozen lane may stay
        // behind, which only costs a look at the lanes on its tick.
        nextDeadline[i] = std::min(nextDeadline[i], newDeadline);
        const VI slot = hn::Load(di, slotStore[i]);
        hn::Store(hn::IfThenElse(takeI, hn::Add(hn::Set(di, next), rank),
                                 hn::IfThenElse(hn::RebindMask(di, frozen), scratch, slot)),
                  di, slotStore[i]);
        const int32_t taken = static_cast<int32_t>(frozenCount);
        next += taken < waiting ? taken : waiting;
        // Rays that start beyond the exact range, or go along a direction that is not
        // finite, are the scalar traversal's from the start. (One sum for both: it also sends
        // directions of 2^31 and more there, which is exact too, only slower. A shared origin
        // was looked at once, before the first ray.)
        VF size = hn::Add(hn::Add(hn::Abs(d0), hn::Abs(d1)), hn::Abs(d2));
        if constexpr (!SHARED_ORIGIN) {
            size = hn::Add(size, hn::Add(hn::Add(hn::Abs(o0), hn::Abs(o1)), hn::Abs(o2)));
        } else {
            (void)o0, (void)o1, (void)o2;
        }
        const MF far = hn::AndNot(hn::Lt(size, exactBelow), take);
        if (HWY_UNLIKELY(!hn::AllFalse(df, far))) finishFar(i, far, tick - 1);
    };

    // One iteration of traverseSponge for every lane; `running` is h > 0.003. Frozen
    // lanes fail that test, so nothing they report (position, exit parameter) changes.
    auto step = [&](Fractions& g, int i, VI now) {
        const MF running = g.running;
        const VF h = hn::Mul(hn::Load(df, hStore[i]), third);
        const VF f0 = hn::Mul(g.fr0, three);
        const VF f1 = hn::Mul(g.fr1, three);
        const VF f2 = hn::Mul(g.fr2, three);
        const VF digit0 = hn::Trunc(f0);
        const VF digit1 = hn::Trunc(f1);
        const VF digit2 = hn::Trunc(f2);
        const VF g0 = hn::Sub(f0, digit0);
        const VF g1 = hn::Sub(f1, digit1);
        const VF g2 = hn::Sub(f2, digit2);
        const VI b0 = hn::BitCast(di, digit0);
        const VI b1 = hn::BitCast(di, digit1);
        const VI b2 = hn::BitCast(di, digit2);
        const VI majority = hn::OrAnd(hn::And(b0, b1), b2, hn::Or(b0, b1));
        // Bit 23 to the sign: a comparison with zero needs no constant.
        const MF middle = hn::RebindMask(df, hn::Lt(hn::ShiftLeft<8>(majority), hn::Zero(di)));
        const MF empty = hn::And(running, middle);

        // (b - g) / d with g = |f - digit|, which is f - digit itself.
        VF t;
        if constexpr (SINGLE_AXIS) {
            t = hn::Div(hn::Sub(hn::Load(df, faceStore[i][0]), g0), hn::Load(df, dirStore[i][0]));
        } else {
            const VF e0 = hn::Div(hn::Sub(hn::Load(df, faceStore[i][0]), g0), hn::Load(df, dirStore[i][0]));
            const VF e1 = hn::Div(hn::Sub(hn::Load(df, faceStore[i][1]), g1), hn::Load(df, dirStore[i][1]));
            const VF e2 = hn::Div(hn::Sub(hn::Load(df, faceStore[i][2]), g2), hn::Load(df, dirStore[i][2]));
            t = KeepSmaller(df, KeepSmaller(df, e0, e1), e2);
        }
        // Zero for the lanes that do not step.
        const VF stepLength = hn::IfThenElseZero(empty, hn::Add(hn::Mul(t, h), push));
        const VF p0 = hn::Add(hn::Load(df, pStore[i][0]), hn::Mul(hn::Load(df, dirStore[i][0]), stepLength));
        const VF p1 = hn::Add(hn::Load(df, pStore[i][1]), hn::Mul(hn::Load(df, dirStore[i][1]), stepLength));
        const VF p2 = hn::Add(hn::Load(df, pStore[i][2]), hn::Mul(hn::Load(df, dirStore[i][2]), stepLength));
        hn::Store(p0, df, pStore[i][0]);
        hn::Store(p1, df, pStore[i][1]);
        hn::Store(p2, df, pStore[i][2]);
        // Stepped lanes restart at the top level, at their new position; the others go down.
        g.fr0 = hn::IfThenElse(empty, fraction(p0), g0);
        g.fr1 = hn::IfThenElse(empty, fraction(p1), g1);
        g.fr2 = hn::IfThenElse(empty, fraction(p2), g2);
        g.exit = hn::IfThenElse(empty, t, g.exit);
        hn::Store(hn::IfThenElse(empty, one, h), df, hStore[i]);
        const MF far = hn::AndNot(within(p0, p1, p2), empty);
        if (HWY_UNLIKELY(!hn::AllFalse(df, far))) {
            hn::Store(g.exit, df, exitStore[i]);
            finishFar(i, far, tick);
        }
        // A spent budget stops the ray after this iteration's work: freeze it. Rare, so
        // the lanes are only looked at on the earliest deadline of the group.
        if (HWY_UNLIKELY(nextDeadline[i] == tick)) {
            const VI deadline = hn::Load(di, deadlineStore[i]);
            const auto due = hn::Eq(deadline, now);
            hn::Store(hn::IfThenElse(hn::And(running, hn::RebindMask(df, due)), zero, hn::Load(df, hStore[i])), df,
                      hStore[i]);
            const VI later = hn::IfThenElse(due, hn::Set(di, INT32_MAX), deadline);
            hn::Store(later, di, deadlineStore[i]);
            nextDeadline[i] = hn::GetLane(hn::MinOfLanes(di, later));
        }
    };

    // Independent groups of lanes: one group's step is a chain of dependent operations,
    // and the others fill its gaps.
    static_assert(GROUPS == 3, "one set of variables for each group");
    VF fr0A, fr1A, fr2A, exitA, fr0B, fr1B, fr2B, exitB, fr0C, fr1C, fr2C, exitC;
    MF runningA = hn::FirstN(df, 0), runningB = runningA, runningC = runningA;
    Fractions g[GROUPS] = {{fr0A, fr1A, fr2A, exitA, runningA},
                           {fr0B, fr1B, fr2B, exitB, runningB},
                           {fr0C, fr1C, fr2C, exitC, runningC}};
    size_t frozenCount[GROUPS];
#pragma GCC unroll 8
    for (int i = 0; i < GROUPS; ++i) initial(g[i], i);
    for (;;) {
        bool refillDue = false, allFrozen = true;
#pragma GCC unroll 8
        for (int i = 0; i < GROUPS; ++i) {
            g[i].running = hn::Gt(hn::Load(df, hStore[i]), threshold);
            frozenCount[i] = hn::CountTrue(df, hn::Not(g[i].running));
            refillDue |= frozenCount[i] >= refillAt;
            allFrozen &= frozenCount[i] == N;
        }
        if (next < q.count) {
            if (refillDue) {
#pragma GCC unroll 8
                for (int i = 0; i < GROUPS; ++i) {
                    if (frozenCount[i] >= refillAt && next < q.count) {
                        flush(g[i], i, hn::Not(g[i].running));
                        refill(g[i], i, hn::Not(g[i].running), frozenCount[i]);
                    }
                }
                // Refilled lanes run again: take the masks afresh.
                continue;
            }
        } else if (allFrozen) {
#pragma GCC unroll 8
            for (int i = 0; i < GROUPS; ++i) flush(g[i], i, hn::Not(g[i].running));
            break;
        }
        const VI now = hn::Set(di, tick);
#pragma GCC unroll 8
        for (int i = 0; i < GROUPS; ++i) step(g[i], i, now);
        ++tick;
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#endif  // include guard
