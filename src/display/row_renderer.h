// The row renderer: one buffer row of the display from its view state, in the three
// contents modes (colour over a checkerboard where translucent, colour, alpha), nearest
// or bilinear, and the overlay blend drawn over rendered rows.
#pragma once

#include <cstdint>

#include "display/display.h"
#include "image/chunky.h"

namespace vl::display {

// Renders buffer row r of the view into rgb (3 bytes a pixel, areaWidth pixels). Rows
// outside the destination are left as they are.
void RenderRow(const DisplayState& state, int r, uint8_t* rgb);
// The same row with the plain per-pixel loop only (RenderRow takes an AVX2 loop for
// bilinear colour rows where the CPU has it; both give the same bytes).
void RenderRowPlain(const DisplayState& state, int r, uint8_t* rgb);

// The columns [from, to] of buffer row r that RenderRow fills from the picture; false when
// it fills none (the row lies outside the picture, or there is no picture).
bool ShownColumns(const DisplayState& state, int r, int& from, int& to);

// Blends an ARGB32 overlay row over an RGB buffer row from x = 0, clipped to width.
void BlendOverlayRow(const image::ChunkyImage* overlay, int row, uint8_t* rgb, int width);

}  // namespace vl::display
