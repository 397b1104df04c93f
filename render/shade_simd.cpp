// The fast frame path: eye rays, traversal, shading, packing and the temporal blend in
// SIMD, compiled once per Highway target and picked at run time. Every lane does the
// arithmetic of shadePixel and traverseSponge in the order they do it, so the pixels are
// those of the plain path; only the grouping of the work differs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/fast_path.h"
#include "render/float_to_int.h"
#include "render/shade_row.h"

#ifndef SPONGE_RENDER_SHADE_SIMD_ONCE_
#define SPONGE_RENDER_SHADE_SIMD_ONCE_
namespace sponge {

// A frame job with the coordinate tables the fast path works from.
struct FastFrame {
    const FrameJob& job;
    const float* rowV;     // v of every row, accumulated row by row as the plain path does
    const float* columnU;  // eyeRayU of every column, then COLUMN_PAD readable entries
};

// Entries past the last column of FastFrame::columnU: whole vectors are loaded.
constexpr size_t COLUMN_PAD = 64;

}  // namespace sponge
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/shade_simd.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep

#include "hwy/highway.h"
#include "render/simd_convert-inl.h"
#include "render/traverse_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace sponge {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;
using VF = hn::Vec<DF>;
using VU = hn::Vec<DU>;

constexpr size_t CHUNK = FAST_CHUNK_PIXELS;
// Room past the last entry for whole-vector loads and stores and the scratch slot;
// two vectors, so that every row of a two-dimensional array stays vector-aligned.
constexpr size_t PAD = 2 * hn::MaxLanes(DF());

HWY_INLINE VF ClampChannel(DF df, VF x) {
    const VF one = hn::Set(df, 1.0f);
    const VF zero = hn::Zero(df);
    // A NaN fails both tests and passes through, as in the plain path.
    return hn::IfThenElse(hn::Gt(x, one), one, hn::IfThenElse(hn::Gt(zero, x), zero, x));
}

// trunc(channel x 255) with the product formed exactly: the channel is widened to double
// first, as the plain path does, so no rounding of the product can reach the next byte.
// NaN gives 0. Where there are no double vectors (WebAssembly's), the single-precision
// product is truncated: for every float in [0, 1], all a clamped channel can be, that gives
// the same byte (the tests check each one).
HWY_INLINE VU ChannelBytes(DF df, VF x) {
    const DU du;
    x = hn::IfThenZeroElse(hn::IsNaN(x), x);
#if !HWY_HAVE_FLOAT64
    return hn::BitCast(du, TruncToInt32(df, hn::Mul(x, hn::Set(df, 255.0f))));
#elif HWY_TARGET == HWY_SCALAR
    (void)df;
    return hn::Set(du, static_cast<uint32_t>(truncToInt32(static_cast<double>(hn::GetLane(x)) * 255.0)));
#else
    (void)df;
    const DI di;
    const hn::Half<DF> dh;
    const hn::Repartition<double, DF> dd;
    const hn::Rebind<int32_t, decltype(dd)> dhi;
    const auto scale = hn::Set(dd, 255.0);
    // The products lie in [0, 255], where the truncating demotion is exact.
    const auto lo = hn::DemoteTo(dhi, hn::Mul(hn::PromoteTo(dd, hn::LowerHalf(dh, x)), scale));
    const auto hi = hn::DemoteTo(dhi, hn::Mul(hn::PromoteTo(dd, hn::UpperHalf(dh, x)), scale));
    return hn::BitCast(du, hn::Combine(di, hi, lo));
#endif
}

HWY_INLINE VU PackBytes(DU du, VU r, VU g, VU b) {
    (void)du;
    return hn::Or(hn::Or(hn::ShiftLeft<16>(r), hn::ShiftLeft<8>(g)), b);
}

// blendPixel: per colour byte (old x wOld + new x wNew) >> 8, bits 24-31 from old.
HWY_INLINE VU BlendBytes(DU du, VU old, VU r, VU g, VU b) {
    const VU ff = hn::Set(du, 0xFFu);
    const VU oldR = hn::And(hn::ShiftRight<16>(old), ff);
    const VU oldG = hn::And(hn::ShiftRight<8>(old), ff);
    const VU oldB = hn::And(old, ff);
    const VU mixR = hn::ShiftRight<8>(hn::Add(hn::Mul(oldR, hn::Set(du, 230u)), hn::Mul(r, hn::Set(du, 26u))));
    const VU mixG = hn::ShiftRight<8>(hn::Add(hn::Mul(oldG, hn::Set(du, 210u)), hn::Mul(g, hn::Set(du, 46u))));
    const VU mixB = hn::ShiftRight<8>(hn::Add(hn::Mul(oldB, hn::Set(du, 180u)), hn::Mul(b, hn::Set(du, 76u))));
    return hn::Or(hn::And(old, hn::Set(du, 0xFF000000u)), PackBytes(du, mixR, mixG, mixB));
}

// The rotated unit eye rays of columns c0..c1-1 of a row, written from out[.][0] on
// (whole vectors: up to a vector past the end is written too).
void EyeRays(const FastFrame& frame, float v, int c0, int c1, float* const out[3]) {
    const DF df;
    const size_t N = hn::Lanes(df);
    const VF one = hn::Set(df, 1.0f);
    const VF vv = hn::Set(df, v * v);
    const VF vs = hn::Set(df, v);
    const VF cos1 = hn::Set(df, frame.job.view.cos1);
    const VF sin1 = hn::Set(df, frame.job.view.sin1);
    const VF cos2 = hn::Set(df, frame.job.view.cos2);
    const VF sin2 = hn::Set(df, frame.job.view.sin2);
    for (int c = c0; c < c1; c += static_cast<int>(N)) {
        const VF u = hn::LoadU(df, frame.columnU + c);
        const VF inv = hn::Div(one, hn::Sqrt(hn::Add(hn::Add(hn::Mul(u, u), vv), one)));
        const VF w0 = hn::Mul(u, inv);
        const VF w1 = hn::Mul(inv, vs);
        const VF w2 = inv;
        const VF A = hn::Sub(hn::Mul(w2, cos1), hn::Mul(w0, sin1));
        const VF B = hn::Add(hn::Mul(w2, sin1), hn::Mul(w0, cos1));
        const VF C = hn::Sub(hn::Mul(w1, cos2), hn::Mul(A, sin2));
        const VF D = hn::Add(hn::Mul(A, cos2), hn::Mul(w1, sin2));
        const size_t at = static_cast<size_t>(c - c0);
        hn::StoreU(D, df, out[0] + at);
        hn::StoreU(B, df, out[1] + at);
        hn::StoreU(C, df, out[2] + at);
    }
}

// Pixels begin..end-1 of the frame (row-major), at most CHUNK of them.
void ShadeChunk(const FastFrame& frame, int64_t begin, int64_t end) {
    const FrameJob& f = frame.job;
    const DF df;
    const DU du;
    const size_t N = hn::Lanes(df);
    const size_t n = static_cast<size_t>(end - begin);

    alignas(64) float dir[3][CHUNK + PAD];
    alignas(64) float distance[CHUNK + PAD];
    alignas(64) float exitParam[CHUNK + PAD];
    float* const dirs[3] = {dir[0], dir[1], dir[2]};

    for (int64_t at = begin; at < end;) {
        const int row = static_cast<int>(at / f.width);
        const int c0 = static_cast<int>(at - static_cast<int64_t>(row) * f.width);
        const int c1 = static_cast<int>(std::min<int64_t>(f.width, c0 + (end - at)));
        float* const out[3] = {dir[0] + (at - begin), dir[1] + (at - begin), dir[2] + (at - begin)};
        EyeRays(frame, frame.rowV[row], c0, c1, out);
        at += c1 - c0;
    }
    // Refills load whole vectors past the last ray; keep what they see defined.
    for (size_t k = 0; k < 3; ++k) std::fill(dir[k] + n, dir[k] + n + PAD, 1.0f);
    std::fill(distance + n, distance + n + PAD, 0.0f);
    std::fill(exitParam + n, exitParam + n + PAD, 0.0f);

    RayQueue q;
    for (size_t k = 0; k < 3; ++k) {
        q.dir[k] = dirs[k];
        q.origin[k] = nullptr;
        q.sharedOrigin[k] = f.view.camera[k];
    }
    q.count = static_cast<int32_t>(n);
    q.distance = distance;
    q.exitParam = exitParam;
    if (f.singleAxis != 0) {
        TraceRayQueue<true, true>(q);
    } else {
        TraceRayQueue<false, true>(q);
    }

    const VF k01 = hn::Set(df, 0.1f);
    const VF k04 = hn::Set(df, 0.4f);
    const VF k03 = hn::Set(df, 0.3f);
    uint32_t* const target = f.pixels + begin;
    for (size_t i = 0; i < n; i += N) {
        const VF D = hn::Load(df, dir[0] + i);
        const VF B = hn::Load(df, dir[1] + i);
        const VF C = hn::Load(df, dir[2] + i);
        const VF G = hn::Mul(hn::Add(hn::Mul(hn::Load(df, exitParam + i), k04), k03), hn::Load(df, distance + i));
        const VU r = ChannelBytes(df, ClampChannel(df, hn::Add(hn::Mul(D, k01), G)));
        const VU g = ChannelBytes(df, ClampChannel(df, hn::Add(hn::Mul(B, k01), G)));
        const VU b = ChannelBytes(df, ClampChannel(df, hn::Add(hn::Mul(C, k01), G)));
        const size_t m = std::min(N, n - i);
        if (m == N) {
            const VU px = f.blendEnabled ? BlendBytes(du, hn::LoadU(du, target + i), r, g, b)
                                         : PackBytes(du, r, g, b);
            hn::StoreU(px, du, target + i);
        } else {
            // The pixels past the chunk belong to another thread: go through a copy.
            alignas(64) uint32_t part[hn::MaxLanes(DU())] = {};
            std::memcpy(part, target + i, m * sizeof(uint32_t));
            const VU px = f.blendEnabled ? BlendBytes(du, hn::Load(du, part), r, g, b)
                                         : PackBytes(du, r, g, b);
            hn::Store(px, du, part);
            std::memcpy(target + i, part, m * sizeof(uint32_t));
        }
    }
}

void TraceRays(size_t n, const float* const origin[3], const float* const dir[3], int32_t singleAxis,
               float* distanceOut, float* exitParamOut) {
    alignas(64) float o[3][CHUNK + PAD];
    alignas(64) float d[3][CHUNK + PAD];
    alignas(64) float distance[CHUNK + PAD];
    alignas(64) float exitParam[CHUNK + PAD];
    for (size_t begin = 0; begin < n; begin += CHUNK) {
        const size_t m = std::min(CHUNK, n - begin);
        RayQueue q;
        for (size_t k = 0; k < 3; ++k) {
            std::fill(o[k], o[k] + CHUNK + PAD, 0.0f);
            std::fill(d[k], d[k] + CHUNK + PAD, 1.0f);
            std::copy(origin[k] + begin, origin[k] + begin + m, o[k]);
            std::copy(dir[k] + begin, dir[k] + begin + m, d[k]);
            q.dir[k] = d[k];
            q.origin[k] = o[k];
            q.sharedOrigin[k] = 0.0f;
        }
        q.count = static_cast<int32_t>(m);
        q.distance = distance;
        q.exitParam = exitParam;
        if (singleAxis != 0) {
            TraceRayQueue<true, false>(q);
        } else {
            TraceRayQueue<false, false>(q);
        }
        std::copy(distance, distance + m, distanceOut + begin);
        std::copy(exitParam, exitParam + m, exitParamOut + begin);
    }
}

void PackColours(size_t n, const float* red, const float* green, const float* blue, uint32_t* packed) {
    const DF df;
    const DU du;
    const size_t N = hn::Lanes(df);
    alignas(64) float part[3][hn::MaxLanes(DF())];
    alignas(64) uint32_t out[hn::MaxLanes(DU())];
    for (size_t i = 0; i < n; i += N) {
        const size_t m = std::min(N, n - i);
        for (size_t k = 0; k < N; ++k) {
            part[0][k] = k < m ? red[i + k] : 0.0f;
            part[1][k] = k < m ? green[i + k] : 0.0f;
            part[2][k] = k < m ? blue[i + k] : 0.0f;
        }
        hn::Store(PackBytes(du, ChannelBytes(df, hn::Load(df, part[0])), ChannelBytes(df, hn::Load(df, part[1])),
                            ChannelBytes(df, hn::Load(df, part[2]))),
                  du, out);
        std::copy(out, out + m, packed + i);
    }
}

void TruncateFloats(size_t n, const float* in, int32_t* out) {
    const DF df;
    const DI di;
    const size_t N = hn::Lanes(df);
    alignas(64) float part[hn::MaxLanes(DF())];
    alignas(64) int32_t result[hn::MaxLanes(DI())];
    for (size_t i = 0; i < n; i += N) {
        const size_t m = std::min(N, n - i);
        for (size_t k = 0; k < N; ++k) part[k] = k < m ? in[i + k] : 0.0f;
        hn::Store(TruncToInt32(df, hn::Load(df, part)), di, result);
        std::copy(result, result + m, out + i);
    }
}

int64_t CurrentTarget() { return HWY_TARGET; }

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace sponge {
HWY_EXPORT(ShadeChunk);
HWY_EXPORT(TraceRays);
HWY_EXPORT(PackColours);
HWY_EXPORT(TruncateFloats);
HWY_EXPORT(CurrentTarget);
}  // namespace sponge

// The dispatch goes through `using namespace`: with a single target compiled (the browser
// build) Highway names the function relative to the scope the call is made in.
void shadeFrameFast(const FrameJob& job, FrameWorkspace& workspace) {
    if (job.width < 1 || job.height < 1) return;
    // The same v sequence as the plain path, worked out before the frame is handed out, and
    // the u of every column, the same in every row.
    const size_t rows = static_cast<size_t>(job.height);
    const size_t columns = static_cast<size_t>(job.width) + sponge::COLUMN_PAD;
    if (workspace.rowV.size() < rows) workspace.rowV.resize(rows);
    if (workspace.columnU.size() < columns) workspace.columnU.resize(columns);
    const float vstep = 2.0f / static_cast<float>(job.height);
    float v = -1.0f;
    for (size_t row = 0; row < rows; ++row) {
        workspace.rowV[row] = v;
        v = v + vstep;
    }
    for (int c = 0; c < job.width; ++c) workspace.columnU[static_cast<size_t>(c)] = eyeRayU(c, job.width, job.view);
    const sponge::FastFrame frame{job, workspace.rowV.data(), workspace.columnU.data()};

    const int threads = renderThreads(workspace);
    if (!workspace.team || workspace.team->wanted() != threads) workspace.team = std::make_unique<WorkerTeam>(threads);
    // One job for the whole frame; rays vary in cost from 1 to 50 iterations, so the chunks
    // go to whichever thread is free.
    const int64_t total = static_cast<int64_t>(job.width) * job.height;
    struct Chunks {
        const sponge::FastFrame& frame;
        int64_t total;
    } chunks{frame, total};
    workspace.team->run((total + FAST_CHUNK_PIXELS - 1) / FAST_CHUNK_PIXELS, [](void* context, int64_t k) {
        const Chunks& c = *static_cast<const Chunks*>(context);
        const int64_t begin = k * FAST_CHUNK_PIXELS;
        using namespace sponge;
        HWY_DYNAMIC_DISPATCH(ShadeChunk)(c.frame, begin, std::min(c.total, begin + FAST_CHUNK_PIXELS));
    }, &chunks);
}

void traceRaysFast(size_t n, const float* const origin[3], const float* const dir[3], int32_t singleAxis,
                   float* distance, float* exitParam) {
    using namespace sponge;
    HWY_DYNAMIC_DISPATCH(TraceRays)(n, origin, dir, singleAxis, distance, exitParam);
}

void packColoursFast(size_t n, const float* red, const float* green, const float* blue, uint32_t* packed) {
    using namespace sponge;
    HWY_DYNAMIC_DISPATCH(PackColours)(n, red, green, blue, packed);
}

void truncateFloatsFast(size_t n, const float* in, int32_t* out) {
    using namespace sponge;
    HWY_DYNAMIC_DISPATCH(TruncateFloats)(n, in, out);
}

const char* fastTargetName() {
    using namespace sponge;
    return hwy::TargetName(HWY_DYNAMIC_DISPATCH(CurrentTarget)());
}
#endif  // HWY_ONCE
