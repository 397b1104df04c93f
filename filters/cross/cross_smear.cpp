#include "filters/cross/cross_smear.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/byte_average.h"
#include "render/render_path.h"

void crossSmearFilter(PixelBuffer pixels, int width, int height) {
    if (renderPath() == RenderPath::Plain) {
        crossSmearFilterPlain(pixels, width, height);
    } else {
        crossSmearFilterFast(pixels, width, height);
    }
}

void crossSmearFilterPlain(PixelBuffer pixels, int width, int height) {
    if (height < 3) return;
    for (int y = 1; y <= height - 2; ++y) {
        uint32_t* const above = pixels + static_cast<int64_t>(y - 1) * width;
        uint32_t* const row = above + width;
        const uint32_t* const below = row + width;
        for (int x = 1; x <= width - 2; ++x) {
            uint32_t s = averageBytes(row[x], row[x + 1]);
            s = averageBytes(row[x - 1], s);
            s = averageBytes(below[x], s);
            s = averageBytes(above[x], s);
            row[x] = s;
        }
    }
}

namespace {

inline void smearPixel(uint32_t* row, int64_t width, int x) {
    const uint32_t* const above = row - width;
    const uint32_t* const below = row + width;
    uint32_t s = averageBytes(row[x], row[x + 1]);
    s = averageBytes(row[x - 1], s);
    s = averageBytes(below[x], s);
    row[x] = averageBytes(above[x], s);
}

// Rows first..first+ROWS-1 together, row first+i trailing row first by i columns. A
// pixel's upper neighbour was rewritten one step earlier by the row above and its left
// neighbour one step earlier by its own row; its lower and right neighbours are still
// untouched, exactly as in the one-pixel-at-a-time order. The rows' chains of halvings
// are independent, so the processor overlaps them instead of waiting on one.
template <int ROWS>
void smearBand(PixelBuffer pixels, int width, int first) {
    const int64_t w = width;
    uint32_t* rows[ROWS];
    for (int i = 0; i < ROWS; ++i) rows[i] = pixels + (first + i) * w;
    const int last = width - 2;
    // Ramp-up: row i starts at step 1 + i.
    int step = 1;
    for (; step < 1 + (ROWS - 1) && step <= last + ROWS - 1; ++step) {
        for (int i = 0; i < ROWS; ++i) {
            const int x = step - i;
            if (x >= 1 && x <= last) smearPixel(rows[i], w, x);
        }
    }
    // Every row inside its columns. Each row's last output is its next pixel's left
    // neighbour and the next row's upper neighbour, so it stays in a register.
    if (step <= last) {
        // A pixel's first average, of itself and its right neighbour, reads only
        // pixels its row has not rewritten yet, so it is worked out for the whole row
        // beforehand, many pixels at a time; the scalar chain then does three
        // averages a pixel instead of four.
        static thread_local std::vector<uint32_t> pairStore;
        pairStore.resize(static_cast<size_t>(ROWS) * static_cast<size_t>(width));
        uint32_t* pairs[ROWS];
        for (int i = 0; i < ROWS; ++i) {
            pairs[i] = pairStore.data() + static_cast<size_t>(i) * static_cast<size_t>(width);
            const uint32_t* const row = rows[i];
            uint32_t* const pair = pairs[i];
            for (int x = step - i; x <= last; ++x) pair[x] = averageBytes(row[x], row[x + 1]);
        }
        uint32_t previous[ROWS];
        for (int i = 0; i < ROWS; ++i) previous[i] = rows[i][step - 1 - i];
        const uint32_t* const above = rows[0] - w;
        for (; step <= last; ++step) {
            uint32_t upper = above[step];
            for (int i = 0; i < ROWS; ++i) {
                const int x = step - i;
                uint32_t* const row = rows[i];
                uint32_t s = averageBytes(previous[i], pairs[i][x]);
                s = averageBytes(row[x + w], s);
                s = averageBytes(upper, s);
                upper = previous[i];
                previous[i] = s;
                row[x] = s;
            }
        }
    }
    // Ramp-down.
    for (; step <= last + ROWS - 1; ++step) {
        for (int i = 0; i < ROWS; ++i) {
            const int x = step - i;
            if (x >= 1 && x <= last) smearPixel(rows[i], w, x);
        }
    }
}

}  // namespace

void crossSmearFilterFast(PixelBuffer pixels, int width, int height) {
    if (height < 3 || width < 3) return;
    constexpr int BAND = 4;
    int y = 1;
    for (; y + BAND - 1 <= height - 2; y += BAND) smearBand<BAND>(pixels, width, y);
    for (; y <= height - 2; ++y) smearBand<1>(pixels, width, y);
}
