// Float-to-int32 truncation for SIMD code with the semantics the images depend on.
// Per-target header: included once for every Highway target, hence the toggled guard.
#if defined(SPONGE_RENDER_SIMD_CONVERT_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef SPONGE_RENDER_SIMD_CONVERT_INL_H_
#undef SPONGE_RENDER_SIMD_CONVERT_INL_H_
#else
#define SPONGE_RENDER_SIMD_CONVERT_INL_H_
#endif

#include <cstdint>

#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace sponge {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// NaN and values outside the int32 range give INT32_MIN, as the scalar truncToInt32 and
// the x86 truncating conversion do. Highway's ConvertTo saturates instead, so it is
// never used on its own. The SIMD paths convert floats to int32 only here; the traversal
// truncates to whole floats instead, and where there are double vectors the colour bytes
// are demoted from products known to lie in [0, 255].
template <class DF>
HWY_INLINE hn::Vec<hn::RebindToSigned<DF>> TruncToInt32(DF df, hn::Vec<DF> v) {
    const hn::RebindToSigned<DF> di;
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL || HWY_TARGET == HWY_AVX2 || \
    HWY_TARGET == HWY_SSE4 || HWY_TARGET == HWY_SSSE3
    // The hardware conversion already answers 0x80000000 for NaN and out of range.
    (void)df;
    using VI = hn::Vec<decltype(di)>;
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    if constexpr (sizeof(v.raw) == 64) return VI{_mm512_cvttps_epi32(v.raw)};
    else
#endif
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL || HWY_TARGET == HWY_AVX2
    if constexpr (sizeof(v.raw) == 32) return VI{_mm256_cvttps_epi32(v.raw)};
    else
#endif
    return VI{_mm_cvttps_epi32(v.raw)};
#else
    // Out-of-range lanes are zeroed before the conversion so that no lane ever reaches
    // an undefined float-to-int cast in an emulated target.
    const auto inRange = hn::Lt(hn::Abs(v), hn::Set(df, 2147483648.0f));
    const auto safe = hn::IfThenElseZero(inRange, v);
    return hn::IfThenElse(hn::RebindMask(di, inRange), hn::ConvertTo(di, safe),
                          hn::Set(di, INT32_MIN));
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#endif  // include guard
