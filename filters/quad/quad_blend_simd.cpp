// quadBlendFilter a vector at a time. Every value the pass reads is one it has not
// rewritten (the right neighbour is read before the next vector is stored, the row
// below later), so whole vectors of pixels can be computed independently.
#include <cstddef>
#include <cstdint>

#include "filters/quad/quad_blend.h"
#include "render/byte_average.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "filters/quad/quad_blend_simd.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep

#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace sponge {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// (a + b) >> 1 per byte, without the carry out of the byte: the common bits plus half the
// others. Not from AverageRound: Highway 1.0.3 sums in the lane's own 8 bits on SVE and
// SVE_256, so its top bit is lost there.
template <class D>
HWY_INLINE hn::Vec<D> TruncatingAverage(D, hn::Vec<D> a, hn::Vec<D> b) {
    return hn::Add(hn::And(a, b), hn::ShiftRight<1>(hn::Xor(a, b)));
}

void QuadBlend(uint32_t* pixels, int width, int height) {
    if (height < 2) return;
    const hn::ScalableTag<uint8_t> d;
    const size_t pixelsPerVector = hn::Lanes(d) / 4;
    const int64_t w = width;
    for (int y = 0; y <= height - 2; ++y) {
        uint32_t* const row = pixels + y * w;
        const uint32_t* const below = row + w;
        int x = 0;
        // A one-byte vector (HWY_SCALAR) holds no whole pixel: leave it all to the tail.
        for (; pixelsPerVector > 0 && x + static_cast<int64_t>(pixelsPerVector) <= w - 1;
             x += static_cast<int>(pixelsPerVector)) {
            const auto C = hn::LoadU(d, reinterpret_cast<const uint8_t*>(row + x));
            const auto R = hn::LoadU(d, reinterpret_cast<const uint8_t*>(row + x + 1));
            const auto B = hn::LoadU(d, reinterpret_cast<const uint8_t*>(below + x));
            const auto D = hn::LoadU(d, reinterpret_cast<const uint8_t*>(below + x + 1));
            auto s = TruncatingAverage(d, C, R);
            s = TruncatingAverage(d, B, s);
            s = TruncatingAverage(d, D, s);
            hn::StoreU(s, d, reinterpret_cast<uint8_t*>(row + x));
        }
        for (; x <= width - 2; ++x) {
            uint32_t s = averageBytes(row[x], row[x + 1]);
            s = averageBytes(below[x], s);
            row[x] = averageBytes(below[x + 1], s);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace sponge {
HWY_EXPORT(QuadBlend);
}  // namespace sponge

void quadBlendFilterFast(PixelBuffer pixels, int width, int height, std::vector<uint64_t>&) {
    using namespace sponge;  // for the single-target browser build (see shade_simd.cpp)
    HWY_DYNAMIC_DISPATCH(QuadBlend)(pixels, width, height);
}
#endif  // HWY_ONCE
