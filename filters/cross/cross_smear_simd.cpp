// crossSmearFilter along a wavefront of rows, with the four nested halvings folded into
// one sum. For whole numbers, (a + (b >> k)) >> 1 == (2^k a + b) >> (k + 1), so a
// rewritten pixel is
//     (8 above + 4 below + 2 left + centre + right) >> 4
// for each byte. Below, centre and right are never rewritten before the pixel is, so
// 4 below + centre + right is worked out for whole rows beforehand, many bytes at a time.
// What remains a pixel at a time is the recursion through the left and upper
// neighbours: a shift, two adds and a mask on the pixel's four bytes spread over four
// 16-bit fields of one 64-bit word (the largest sum, 16 x 255, needs 12 bits).
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "filters/cross/byte_fields.h"
#include "filters/cross/cross_smear.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "filters/cross/cross_smear_simd.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep

#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace sponge {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// rest[x] = 4 below[x] + row[x] + row[x + 1] for x in [first, last], as spread bytes.
void RowRest(const uint32_t* row, const uint32_t* below, int first, int last, uint64_t* rest) {
    const hn::ScalableTag<uint16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> d8;
    const int perVector = static_cast<int>(hn::Lanes(d16) / 4);
    int x = first;
    // A vector of fewer than four 16-bit lanes holds no whole pixel: leave it to the tail.
    for (; perVector > 0 && x + perVector - 1 <= last; x += perVector) {
        const auto C = hn::PromoteTo(d16, hn::LoadU(d8, reinterpret_cast<const uint8_t*>(row + x)));
        const auto R = hn::PromoteTo(d16, hn::LoadU(d8, reinterpret_cast<const uint8_t*>(row + x + 1)));
        const auto B = hn::PromoteTo(d16, hn::LoadU(d8, reinterpret_cast<const uint8_t*>(below + x)));
        hn::StoreU(hn::Add(hn::Add(hn::ShiftLeft<2>(B), C), R), d16, reinterpret_cast<uint16_t*>(rest + x));
    }
    for (; x <= last; ++x) rest[x] = (spreadBytes(below[x]) << 2) + spreadBytes(row[x]) + spreadBytes(row[x + 1]);
}

// row[x] = the bytes of spread[x] for x in [first, last].
void GatherRow(const uint64_t* spread, int first, int last, uint32_t* row) {
    const hn::ScalableTag<int16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> d8;
    const int perVector = static_cast<int>(hn::Lanes(d16) / 4);
    int x = first;
    // Every field is below 256, so the saturating narrowing just drops the high bytes.
    for (; perVector > 0 && x + perVector - 1 <= last; x += perVector) {
        const auto v = hn::LoadU(d16, reinterpret_cast<const int16_t*>(spread + x));
        hn::StoreU(hn::DemoteTo(d8, v), d8, reinterpret_cast<uint8_t*>(row + x));
    }
    for (; x <= last; ++x) row[x] = gatherBytes(spread[x]);
}

// Rows first..first+ROWS-1 together, row first+i trailing row first by i columns. A
// pixel's upper neighbour was rewritten one step earlier by the row above and its left
// neighbour one step earlier by its own row; the chains of the rows are independent, so
// the processor overlaps them. `above` holds the spread bytes of row first-1 as
// rewritten; on return it holds those of the last row of the band.
template <int ROWS>
void SmearBand(uint32_t* pixels, int width, int first, uint64_t*& above, uint64_t* const* rest, uint64_t** out) {
    const int64_t w = width;
    const int last = width - 2;
    uint32_t* rows[ROWS];
    uint64_t previous[ROWS];  // each row's latest rewritten pixel: the next one's left neighbour
    for (int i = 0; i < ROWS; ++i) {
        rows[i] = pixels + (first + i) * w;
        RowRest(rows[i], rows[i] + w, 1, last, rest[i]);
        previous[i] = spreadBytes(rows[i][0]);
    }
    const uint64_t* const top = above;
    auto smearOne = [&](int i, int step) {
        const int x = step - i;
        if (x < 1 || x > last) return;
        const uint64_t upper = i == 0 ? top[x] : out[i - 1][x];
        previous[i] = smearedBytes(upper, previous[i], rest[i][x]);
        out[i][x] = previous[i];
    };
    int step = 1;
    for (; step < ROWS && step <= last + ROWS - 1; ++step) {
        for (int i = 0; i < ROWS; ++i) smearOne(i, step);
    }
    // Every row inside its columns. The upper neighbour of row i is what row i-1 held
    // as its latest pixel before this step, so it never goes through memory.
    for (; step <= last; ++step) {
        uint64_t upper = top[step];
        for (int i = 0; i < ROWS; ++i) {
            const int x = step - i;
            const uint64_t s = smearedBytes(upper, previous[i], rest[i][x]);
            upper = previous[i];
            previous[i] = s;
            out[i][x] = s;
        }
    }
    for (; step <= last + ROWS - 1; ++step) {
        for (int i = 0; i < ROWS; ++i) smearOne(i, step);
    }
    for (int i = 0; i < ROWS; ++i) GatherRow(out[i], 1, last, rows[i]);
    // The band's last row is the next band's upper neighbour.
    std::swap(above, out[ROWS - 1]);
}

void CrossSmear(uint32_t* pixels, int width, int height, std::vector<uint64_t>& scratch) {
    if (height < 3 || width < 3) return;
    constexpr int BAND = 4;
    const size_t size = static_cast<size_t>(width);
    if (scratch.size() < (1 + 2 * BAND) * size) scratch.resize((1 + 2 * BAND) * size);
    uint64_t* above = scratch.data();
    uint64_t* rest[BAND];
    uint64_t* out[BAND];
    for (int i = 0; i < BAND; ++i) {
        rest[i] = scratch.data() + (1 + i) * size;
        out[i] = scratch.data() + (1 + BAND + i) * size;
    }
    for (int x = 1; x <= width - 2; ++x) above[x] = spreadBytes(pixels[x]);
    int y = 1;
    for (; y + BAND - 1 <= height - 2; y += BAND) SmearBand<BAND>(pixels, width, y, above, rest, out);
    for (; y <= height - 2; ++y) SmearBand<1>(pixels, width, y, above, rest, out);
}

}  // namespace HWY_NAMESPACE
}  // namespace sponge
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace sponge {
HWY_EXPORT(CrossSmear);
}  // namespace sponge

void crossSmearFilterFast(PixelBuffer pixels, int width, int height, std::vector<uint64_t>& scratch) {
    using namespace sponge;  // for the single-target browser build (see shade_simd.cpp)
    HWY_DYNAMIC_DISPATCH(CrossSmear)(pixels, width, height, scratch);
}
#endif  // HWY_ONCE
