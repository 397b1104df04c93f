// A frame enlarged (or reduced) to another size by the nearest pixel: each destination pixel
// is the source pixel under its centre, source column floor((x + 0.5) * srcWidth / width)
// and likewise for rows. No blending, so every pixel shown is one the renderer made.
#pragma once

#include <cstdint>
#include <vector>

struct NearestScale {
    int srcWidth = 0, srcHeight = 0;
    int areaWidth = 0, areaHeight = 0;  // the whole destination
    // Where the frame lands in it, scaled to width x height; the rest of the area is black.
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<int> column;  // the source column of each of the frame's destination columns
    std::vector<int> row;     // the source row of each of its destination rows
};

// The frame stretched over the whole area.
NearestScale nearestScale(int srcWidth, int srcHeight, int areaWidth, int areaHeight);

// The frame as large as fits the area at its own aspect, centred, with black bars where the
// aspects differ.
NearestScale nearestScaleKeepingAspect(int srcWidth, int srcHeight, int areaWidth, int areaHeight);

// Writes the whole area into dst, whose rows are dstPitch pixels apart. Each source row is
// scaled once; destination rows that show the same source row are copies of the first.
void scaleFrame(const NearestScale& scale, const uint32_t* src, uint32_t* dst, int dstPitch);
