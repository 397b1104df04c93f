// Colour of one row of the image: eye ray, view rotation, traversal, shading, blend; and
// the plain frame shader, which runs the rows one after another.
#pragma once

#include <cstdint>

#include "render/frame_job.h"
#include "render/types.h"

// The horizontal screen coordinate of column c, from -1 at the left edge.
float eyeRayU(int c, int width, const FrameView& view);

// The unit direction of the eye ray through screen point (u, v), turned by the view.
void eyeRayDirection(float u, float v, const FrameView& view, float dir[3]);

// The packed 0x00RRGGBB colour of column c of a row at vertical coordinate v.
uint32_t shadePixel(int c, float v, int width, const FrameView& view);

// Temporal blend: each colour byte mixes old and new with weights summing to 256;
// bits 24-31 keep old's value.
uint32_t blendPixel(uint32_t old, uint32_t packed);

// Packs three channels in [0, 1] (or NaN, which gives 0) into 0x00RRGGBB.
uint32_t packColour(float red, float green, float blue);

// Shades columns 0..width-1 of row. Inside a parallel region it shares the columns
// among the team one at a time; outside one it runs them all on the caller.
void shadeRowColumns(int row, int blendEnabled, float v, const FrameView& view, PixelBuffer pixels,
                     int width);

// The plain FrameShader: rows top to bottom, each in a parallel region of its own whose
// team takes the row's columns one at a time. Of the workspace it reads only the thread count.
void shadeFramePlain(const FrameJob& job, FrameWorkspace& workspace);
