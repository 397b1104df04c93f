// A frame enlarged (or reduced) to another size by the nearest pixel: each destination pixel
// is the source pixel under its centre, source column floor((x + 0.5) * srcWidth / dstWidth)
// and likewise for rows. No blending, so every pixel shown is one the renderer made.
#pragma once

#include <cstdint>
#include <vector>

struct NearestScale {
    int srcWidth = 0, srcHeight = 0;
    int dstWidth = 0, dstHeight = 0;
    std::vector<int> column;  // the source column of each destination column
    std::vector<int> row;     // the source row of each destination row
};

NearestScale nearestScale(int srcWidth, int srcHeight, int dstWidth, int dstHeight);

// Writes the scaled frame into dst, whose rows are dstPitch pixels apart. Each source row is
// scaled once; destination rows that show the same source row are copies of the first.
void scaleFrame(const NearestScale& scale, const uint32_t* src, uint32_t* dst, int dstPitch);
